// The platform interfaces on Qt: the blocking wait, the event pass, message
// boxes, pictures and the process itself.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace velmira::qt {

// A wait blocks the handler that waits: no handler of the application runs
// until it is over, and what the user types or clicks meanwhile stays queued
// and is delivered at the next event pass.  The windows still repaint.
class QtClock : public platform::Clock, private QObject {
 public:
  QtClock();
  ~QtClock() override;
  int64_t nowMs() override;
  void sleepMs(int32_t ms) override;
  // Whether a wait is running (the close box is held back meanwhile).
  bool waiting() const override { return depth_ > 0; }
  // Called at the start of each wait of at least kPaintNs with what is left
  // of it: the window paints there what falls due before the wait ends.
  void setPainter(std::function<void(int64_t leftNs)> painter) { painter_ = std::move(painter); }
  static constexpr int64_t kPaintNs = 800'000;

 private:
  bool eventFilter(QObject* receiver, QEvent* event) override;
  void releaseHeldInput();
  struct Held {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };
  std::vector<Held> held_;
  int depth_ = 0;
  bool filtering_ = false;
  std::function<void(int64_t)> painter_;
};

// A close box clicked during a wait is posted again as this event, which the
// wait holds like input: the window closes at the next event pass.
QEvent::Type closeAtNextPassEvent();

// Lets pending window events run: input, clicks, timers, painting.
class QtEventPump : public platform::EventPump {
 public:
  void doEvents() override;
};

// Modal boxes with an OK button.
class QtMessageBoxes : public platform::MessageBoxes {
 public:
  void show(const platform::MessageBoxRequest& request) override;
  bool askRetry(const platform::MessageBoxRequest& request) override;
};

class QtPictures : public platform::Pictures {
 public:
  bool canLoad(const std::string& path) override;
};

// The program: screen, directory, executable name, title, the end.
class QtProcess : public platform::Process {
 public:
  platform::ScreenSize screen() override;
  // The program's own folder when it is the user's, can be written to and
  // the program is not an installed one, otherwise the user's data folder
  // (~/.local/share/velmira), decided at the first call
  // and kept: a folder that becomes read-only later makes a save fail with
  // its message instead of going elsewhere.
  std::string programDir() override;
  std::string shippedDir() override;
  // The desktop's pictures folder (~/Imágenes, ~/Pictures ...).
  std::string picturesDir() override;
  std::string exeName() override;
  std::string title() override { return title_; }
  void setTitle(const std::string& title) override { title_ = title; }
  // Runs `beforeEnd`, then ends the process at once.  The handlers that end
  // the program have closed the port already.
  [[noreturn]] void end() override;
  std::function<void()> beforeEnd;
  // The signal that ends the program (0: none): end() then ends the process
  // by that signal, with its default action.
  int endSignal = 0;
  // The exit status otherwise.
  int exitStatus = 0;

 private:
  std::string title_ = "Velmira";
  std::optional<std::string> dataDir_;
};

// A folder of the system: under /usr, or not owned by the user running
// the program.
bool isSystemFolder(const std::string& dir);

// The folder of the slots and the picture for a program in `programDir`:
// that folder when it is no system folder and `writable` says so,
// otherwise `userDataDir`/velmira.  An
// installed program (`programDir` is <prefix>/bin and `isDir` finds
// <prefix>/share/velmira) always uses `userDataDir`/velmira, even for a
// user who may write to <prefix>/bin (root).
// <prefix>/share/velmira when `programDir` is <prefix>/bin and `isDir` finds
// that folder (an installed program), otherwise empty.
std::string installedShareDir(const std::string& programDir, const std::function<bool(const std::string&)>& isDir);

// The first start of an installed program, however it is started (the
// desktop menu, a terminal): the notes, the first configuration slot and
// the background picture shipped in `shipped` are put in the user's
// `folder`.  A file the user already has is never replaced, and one the
// user deletes later is not put back, so the window then says it is
// missing: `folder`/.primer-inicio lists what was offered.  A copy that
// fails (a full disk) is left out and tried again at the next start.
void offerShippedFiles(const std::string& shipped, const std::string& folder);

std::string chooseDataDir(const std::string& programDir, const std::string& userDataDir,
                          const std::function<bool(const std::string&)>& writable,
                          const std::function<bool(const std::string&)>& isDir = {});

}  // namespace velmira::qt
