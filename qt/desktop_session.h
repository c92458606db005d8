// The desktop session's services over D-Bus (platform::DesktopSession).
//
// Keeping the machine awake takes two locks, each where the session has it:
//   - systemd-logind's inhibitor lock ("sleep:idle", mode "block") on the
//     system bus: no suspend, also not the session's idle suspend; held as
//     long as the file descriptor logind hands out stays open;
//   - org.freedesktop.ScreenSaver.Inhibit on the session bus, which KDE
//     and other desktops honour for their idle handling.
// A stack run shows its progress in the desktop's task bar or dock (the
// launcher-entry convention of GNOME's and KDE's docks: a signal with the
// progress and a count, here the frames still to go) and says in desktop
// notifications (org.freedesktop.Notifications) when it started and when
// it will end, and how it ended; when a USB camera's photos went into a
// folder, activating that notification opens the folder in the desktop's
// file manager.
//
// Every call is asynchronous: a bus or a service that is missing or never
// answers costs nothing, and a reply that arrives after the release is
// given back at once.
#pragma once

#include <QDBusConnection>
#include <QDateTime>
#include <functional>
#include <QObject>
#include <optional>

#include "platform/platform.h"

namespace velmira::qt {

class QtDesktopSession : public QObject, public platform::DesktopSession {
  Q_OBJECT

 public:
  // The session's buses; tests hand in the connections of a private bus.
  explicit QtDesktopSession(QDBusConnection system = QDBusConnection::systemBus(),
                            QDBusConnection session = QDBusConnection::sessionBus());
  ~QtDesktopSession() override;
  void inhibitSleep(const std::string& reason) override;
  void releaseSleep() override;
  void runStarted(const RunPlan& plan) override;
  void runProgress(int framesDone, int frames) override;
  void runEnded(const RunOutcome& outcome) override;

  // The wall clock that the end time is told by (tests fix it).
  std::function<QDateTime()> wallClock = [] { return QDateTime::currentDateTime(); };

  // Whether the descriptor of logind's sleep lock is in hand.
  bool holdsSleepLock() const { return logindFd_ >= 0; }
  // A run's progress is on the dock (a stack fused meanwhile leaves it be).
  bool showingRun() const { return showingRun_; }

  // "1 h 5 min", "4 min 30 s", "12 s".
  static QString duration(int64_t ms);

 private:
  void unInhibitScreenSaver(uint cookie);
  void launcher(double progress, int count, bool visible);
  void notify(const QString& summary, const QString& body, const QString& folder = {});
  Q_SLOT void actionInvoked(uint id, const QString& action);

  QDBusConnection system_, session_;
  int generation_ = 0;  // of the current inhibition; odd while held
  int logindFd_ = -1;
  bool showingRun_ = false;
  std::optional<uint> cookie_;
  uint notification_ = 0;  // the run's notification, replaced by the next
  bool notifying_ = false;  // a Notify call awaits its id
  struct Pending {
    QString summary, body, folder;
  };
  std::optional<Pending> next_;  // sent once the id is known
  QString folder_;  // the stack's folder the notification shown offers to open
};

}  // namespace velmira::qt
