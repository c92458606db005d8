// The desktop session's services over D-Bus (platform::DesktopSession).
//
// Keeping the machine awake takes two locks, each where the session has it:
//   - systemd-logind's inhibitor lock ("sleep:idle", mode "block") on the
//     system bus: no suspend, also not the session's idle suspend; held as
//     long as the file descriptor logind hands out stays open;
//   - org.freedesktop.ScreenSaver.Inhibit on the session bus, which KDE
//     and other desktops honour for their idle handling.
// Every call is asynchronous: a bus or a service that is missing or never
// answers costs nothing, and a reply that arrives after the release is
// given back at once.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <optional>

#include "platform/platform.h"

namespace velmira::qt {

class QtDesktopSession : public QObject, public platform::DesktopSession {
 public:
  // The session's buses; tests hand in the connections of a private bus.
  explicit QtDesktopSession(QDBusConnection system = QDBusConnection::systemBus(),
                            QDBusConnection session = QDBusConnection::sessionBus());
  ~QtDesktopSession() override;
  void inhibitSleep(const std::string& reason) override;
  void releaseSleep() override;

 private:
  void unInhibitScreenSaver(uint cookie);

  QDBusConnection system_, session_;
  int generation_ = 0;  // of the current inhibition; odd while held
  int logindFd_ = -1;
  std::optional<uint> cookie_;
};

}  // namespace velmira::qt
