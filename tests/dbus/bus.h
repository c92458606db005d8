// The desktop's D-Bus services for the tests: a private dbus-daemon is the
// session bus and the system bus of the test program (bus.cpp's main), and
// on it fake services, or Debian's xdg-desktop-portal frontend with a
// remote desktop backend of the tests' own behind it.  Every service writes
// each call it gets into its transcript, "Member(argument, ...)", without
// the caller's own names (object paths, handle tokens) and empty values.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace velmira::test {

using Strings = std::vector<std::string>;

// One service: answers each call by its member from `answers` (none: an
// empty reply), and its properties from `properties`.
class FakeService : public QDBusVirtualObject {
  Q_OBJECT
 public:
  std::map<QString, std::function<QVariantList(const QDBusMessage&)>> answers;
  QVariantMap properties;
  Strings log() const;
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
  // Signals are written down too, where a test connects them here.
  Q_SLOT void record(const QDBusMessage& message);

 private:
  mutable std::mutex mutex_;  // a backend answers on a thread of its own
  Strings log_;
};

// The desktop's services, faked: logind (on the system bus, which is the
// same bus here), the screen saver, the notifications, a dock listening to
// the launcher-entry signals, and a portal of version 2 (Debian 12's
// frontend is version 1) whose requests answer by their Response signal.
struct Desktop {
  Desktop();
  ~Desktop();
  bool lockHeld() const;  // logind's sleep lock: a copy of its descriptor is open
  QDBusConnection bus;
  FakeService login, screenSaver, notifications, dock, portal;
  int lockEnd = -1;  // the read end of the pipe logind handed out the other end of
};

// The real frontend, its backend offering these devices or no remote desktop.
class RealPortal {
 public:
  explicit RealPortal(bool remoteDesktop = true, uint devices = 7);  // keyboard, pointer, touch
  ~RealPortal();
  void restart() { stop(), start(); }  // the frontend ends (its name leaves the bus) and starts again
  void closeSession();  // the desktop ends the session (the user stopped sharing)
  std::atomic<bool> refuse = false;  // Start is cancelled in the dialog
  FakeService backend;

 private:
  void start();
  void stop();
  QTemporaryDir dir_;
  QDBusConnection bus_;
  QProcess frontend_;
  QThread thread_;
  std::mutex mutex_;
  QString session_;
};

}  // namespace velmira::test
