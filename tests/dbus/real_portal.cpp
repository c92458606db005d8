#include "tests/dbus/real_portal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QTest>
#include <cstdio>
#include <stdexcept>

#include "tests/dbus/fake_services.h"

namespace velmira::test {
namespace {

const QString kBackend = QStringLiteral("org.freedesktop.impl.portal.desktop.velmira");
const QString kFrontend = QStringLiteral("org.freedesktop.portal.Desktop");

}  // namespace

uint RemoteDesktopBackend::CreateSession(const QDBusObjectPath&, const QDBusObjectPath& session, const QString&,
                                         const QVariantMap&, QVariantMap&) {
  record("CreateSession");
  std::lock_guard lock(mutex_);
  session_ = session.path();
  return 0;
}

uint RemoteDesktopBackend::SelectDevices(const QDBusObjectPath&, const QDBusObjectPath&, const QString&,
                                         const QVariantMap& options, QVariantMap&) {
  record("SelectDevices types=" + std::to_string(options.value(QStringLiteral("types")).toUInt()) +
                  " persist=" + std::to_string(options.value(QStringLiteral("persist_mode")).toUInt()) +
                  " restore=" + options.value(QStringLiteral("restore_token")).toString().toStdString());
  return 0;
}

uint RemoteDesktopBackend::Start(const QDBusObjectPath&, const QDBusObjectPath&, const QString&, const QString&,
                                 const QVariantMap&, QVariantMap& results) {
  record("Start");
  if (refuse) return 1;
  results = {{QStringLiteral("devices"), uint(1)}};
  if (version_ >= 2) results.insert(QStringLiteral("restore_token"), QStringLiteral("token-1"));
  return 0;
}

void RemoteDesktopBackend::NotifyKeyboardKeysym(const QDBusObjectPath&, const QVariantMap&, int keysym, uint state) {
  char text[32];
  std::snprintf(text, sizeof text, "key %x %u", keysym, state);
  record(text);
}

void RemoteDesktopBackend::record(std::string call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<std::string> RemoteDesktopBackend::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

void RemoteDesktopBackend::closeSession() {
  std::lock_guard lock(mutex_);
  connection_.send(QDBusMessage::createSignal(session_, QStringLiteral("org.freedesktop.impl.portal.Session"),
                                              QStringLiteral("Closed")));
}

RealPortal::RealPortal(PortalSetup setup)
    : connection_(QDBusConnection::connectToBus(QString::fromStdString(FakeServices::busAddress),
                                                QStringLiteral("portal-backend"))),
      backend(connection_, setup) {
  // The frontend takes the backends whose UseIn names the desktop.
  QFile file(dir_.filePath(QStringLiteral("velmira.portal")));
  file.open(QIODevice::WriteOnly);
  file.write("[portal]\nDBusName=" + kBackend.toUtf8() + "\nInterfaces=" +
             (setup.remoteDesktop ? "org.freedesktop.impl.portal.RemoteDesktop;" : "") + "\nUseIn=velmira\n");
  file.close();
  backend.moveToThread(&thread_);
  thread_.start();
  connection_.registerService(kBackend);
  connection_.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &backend,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
  start();
}

RealPortal::~RealPortal() {
  stop();
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
  connection_.unregisterService(kBackend);
  thread_.quit();
  thread_.wait();
  QDBusConnection::disconnectFromBus(QStringLiteral("portal-backend"));
}

void RealPortal::start() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), dir_.path());
  env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("velmira"));
  frontend_.setProcessEnvironment(env);
  frontend_.setStandardOutputFile(QProcess::nullDevice());
  frontend_.setStandardErrorFile(QProcess::nullDevice());
  frontend_.start(QStringLiteral("/usr/libexec/xdg-desktop-portal"), {QStringLiteral("--replace")});
  if (!QTest::qWaitFor([this] { return connection_.interface()->isServiceRegistered(kFrontend).value(); }, 10000))
    throw std::runtime_error("xdg-desktop-portal did not start");
}

void RealPortal::stop() {
  frontend_.terminate();
  frontend_.waitForFinished(5000);
  QTest::qWaitFor([this] { return !connection_.interface()->isServiceRegistered(kFrontend).value(); }, 5000);
}

void RealPortal::restart() {
  stop();
  start();
}

}  // namespace velmira::test
