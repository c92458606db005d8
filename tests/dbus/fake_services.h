// Small fakes of the desktop's D-Bus services, on their own connection to
// the private bus: they record every call they get and answer as the real
// ones do.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>
#include <QObject>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/private_bus.h"

namespace velmira::test {

// systemd-logind: Inhibit hands out the write end of a pipe; the lock is
// held until every copy of it is closed, which the read end then sees.
class FakeLogin : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
 public:
  ~FakeLogin() override;
  std::vector<QStringList> calls;
  std::function<void()> onCall;
  // Whether the last lock handed out is still held by someone.
  bool lockHeld() const;

 public slots:
  QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode);

 private:
  int readEnd_ = -1;
};

// org.freedesktop.ScreenSaver: Inhibit gives cookie 42, 43 ...
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
 public:
  std::vector<QStringList> calls;  // "Inhibit app reason", "UnInhibit cookie"

 public slots:
  uint Inhibit(const QString& app, const QString& reason);
  void UnInhibit(uint cookie);

 private:
  uint next_ = 42;
};

// The desktop portal's remote desktop interface, by default in its version
// 2, which keeps the permission between program runs (Debian 12's
// frontend, which the other tests run, is version 1 and drops the options
// of version 2 itself; this one records what it is sent).  Each request
// answers through the Response signal of its request object, as the real
// portal does after its dialog.
class FakePortal : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")
  Q_PROPERTY(uint AvailableDeviceTypes READ devices)
  Q_PROPERTY(uint version MEMBER portalVersion)
 public:
  uint devices() const { return 1; }
  uint portalVersion = 2;
  explicit FakePortal(QDBusConnection& connection) : connection_(connection) {}
  // "CreateSession", "SelectDevices types=1 persist=2 restore=<token>",
  // "Start", "key <keysym hex> <state>", in order.
  std::vector<std::string> calls;
  QString session;

 public slots:
  QDBusObjectPath CreateSession(const QVariantMap& options);
  QDBusObjectPath SelectDevices(const QDBusObjectPath& session, const QVariantMap& options);
  QDBusObjectPath Start(const QDBusObjectPath& session, const QString& parent, const QVariantMap& options);
  void NotifyKeyboardKeysym(const QDBusObjectPath& session, const QVariantMap& options, int keysym, uint state);

 private:
  QDBusObjectPath respond(const QVariantMap& options, uint response, const QVariantMap& results);
  QDBusConnection& connection_;
};

// org.freedesktop.Notifications: Notify records the call and gives ids 7, 8 ...
class FakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  struct Note {
    QString app, icon, summary, body;
    uint replaces;
    QVariantMap hints;
    QStringList actions;
  };
  std::vector<Note> notes;

 public slots:
  uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int timeout);

 private:
  uint next_ = 7;
};

// A dock that listens to the launcher-entry signals.
class FakeDock : public QObject {
  Q_OBJECT
 public:
  // "progress=0.5 count=1 visible" or "hidden", per signal.
  std::vector<std::string> updates;
  QString app;

 public slots:
  void Update(const QString& app, const QVariantMap& properties);
};

// The fakes, registered under their services' names for the life of this
// object.
class FakeServices {
 public:
  FakeServices();
  ~FakeServices();
  // The portal's service leaves the bus (the portal crashed).
  void portalVanishes();
  static inline std::string busAddress;

 private:
  QDBusConnection connection_;

 public:
  FakeLogin login;
  FakeScreenSaver screenSaver;
  FakePortal portal{connection_};
  FakeNotifications notifications;
  FakeDock dock;
};

}  // namespace velmira::test
