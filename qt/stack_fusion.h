// A stack's frames fused in the background once its run has ended: one
// fusion at a time on a thread of its own, the tools at the lowest priority
// (the window and the next run are not held up), the progress on the
// dock's launcher entry (aligning, then fusing), a notification when the
// picture is ready that opens it when activated, and the fusion added to
// the run's record.  Quitting stops the tools at once and leaves no
// half-written picture.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <thread>

#include "platform/processes.h"
#include "platform/stack_fusion.h"
#include "stacking/progress.h"
#include "stacking/stacker.h"

namespace velmira::qt {

class QtStackFusion : public QObject, public platform::StackFusion {
  Q_OBJECT

 public:
  QtStackFusion(platform::Processes& processes, platform::Clock& clock,
                QDBusConnection session = QDBusConnection::sessionBus());
  ~QtStackFusion() override;
  std::optional<std::string> fuse(const std::string& folder) override;
  void giveWay(bool stepping) override { processes_.hold(stepping); }

  // Opens a picture in the desktop's viewer (tests watch it).
  std::function<void(const QString& path)> open;
  // Whether a run's progress is on the dock: the fusion's bar then waits.
  std::function<bool()> runOnDock = [] { return false; };
  // Each fusion's end, on the window's thread, after the notification.
  std::function<void(const std::string& folder, const stacking::Outcome&)> ended;
  bool fusing() const { return running_; }

 private slots:
  void actionInvoked(uint id, const QString& action);

 private:
  void startNext();
  void progress(const stacking::Progress& p);
  void finish(const std::string& folder, const stacking::Outcome& outcome);
  void launcher(double progress, bool visible);

  platform::Processes& processes_;
  platform::Clock& clock_;
  QDBusConnection session_;
  std::deque<std::string> queue_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  bool running_ = false;
  std::map<uint, QString> pictures_;     // notification id -> the picture it opens
};

}  // namespace velmira::qt
