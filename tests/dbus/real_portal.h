// The desktop portal as a desktop has it: Debian's xdg-desktop-portal
// frontend on the private bus, and behind it a remote desktop backend of
// the tests' own that records, in order, the calls the frontend hands on.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantMap>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace velmira::test {

// What the backend offers.
struct PortalSetup {
  bool remoteDesktop = true;  // false: none (as on wlroots desktops)
  uint devices = 7;           // keyboard, pointer, touch
  uint version = 1;           // Debian 12's
};

// Runs on a thread of its own, as a backend is a process of its own: the
// window's thread blocks while the portal hands a key on.
class RemoteDesktopBackend : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.RemoteDesktop")
  Q_PROPERTY(uint AvailableDeviceTypes MEMBER devices_)
  Q_PROPERTY(uint version MEMBER version_)
 public:
  RemoteDesktopBackend(QDBusConnection& connection, const PortalSetup& setup)
      : connection_(connection), devices_(setup.devices), version_(setup.version) {}
  std::atomic<bool> refuse = false;  // Start is cancelled in the dialog
  // "CreateSession", "SelectDevices types=1 persist=2 restore=<token>",
  // "Start", "key <keysym hex> <state>", in the order they came.
  std::vector<std::string> calls() const;
  // The desktop ends the session (the user stopped the sharing).
  void closeSession();

 public slots:
  uint CreateSession(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& app,
                     const QVariantMap& options, QVariantMap& results);
  uint SelectDevices(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& app,
                     const QVariantMap& options, QVariantMap& results);
  uint Start(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& app, const QString& parent,
             const QVariantMap& options, QVariantMap& results);
  void NotifyKeyboardKeysym(const QDBusObjectPath& session, const QVariantMap& options, int keysym, uint state);

 private:
  void record(std::string call);
  QDBusConnection& connection_;
  uint devices_, version_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  QString session_;
};

class RealPortal {
 public:
  explicit RealPortal(PortalSetup setup = {});
  ~RealPortal();
  // The frontend ends (its name leaves the bus) and starts again.
  void restart();

 private:
  void start();
  void stop();
  QTemporaryDir dir_;
  QDBusConnection connection_;
  QProcess frontend_;
  QThread thread_;

 public:
  RemoteDesktopBackend backend;
};

}  // namespace velmira::test
