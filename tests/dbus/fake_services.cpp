#include "tests/dbus/fake_services.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace velmira::test {

FakeLogin::~FakeLogin() {
  if (readEnd_ >= 0) ::close(readEnd_);
}

QDBusUnixFileDescriptor FakeLogin::Inhibit(const QString& what, const QString& who, const QString& why,
                                           const QString& mode) {
  calls.push_back({what, who, why, mode});
  if (onCall) onCall();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  if (readEnd_ >= 0) ::close(readEnd_);
  readEnd_ = fds[0];
  QDBusUnixFileDescriptor lock(fds[1]);  // a copy of its own
  ::close(fds[1]);
  return lock;
}

bool FakeLogin::lockHeld() const {
  if (readEnd_ < 0) return false;
  pollfd p{readEnd_, POLLIN, 0};
  return poll(&p, 1, 0) == 0;  // EOF shows as readable
}

uint FakeScreenSaver::Inhibit(const QString& app, const QString& reason) {
  calls.push_back({QStringLiteral("Inhibit"), app, reason});
  return next_++;
}

void FakeScreenSaver::UnInhibit(uint cookie) { calls.push_back({QStringLiteral("UnInhibit"), QString::number(cookie)}); }

QDBusObjectPath FakePortal::respond(const QVariantMap& options, uint response, const QVariantMap& results) {
  QString sender = message().service().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + QLatin1Char('/') +
                       options.value(QStringLiteral("handle_token")).toString();
  // After the method's own reply, as the portal answers after its dialog.
  QTimer::singleShot(10, this, [this, path, response, results] {
    QDBusMessage signal =
        QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << response << results;
    connection_.send(signal);
  });
  return QDBusObjectPath(path);
}

QDBusObjectPath FakePortal::CreateSession(const QVariantMap& options) {
  calls.push_back("CreateSession");
  QString sender = message().service().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  session = QStringLiteral("/org/freedesktop/portal/desktop/session/") + sender + QLatin1Char('/') +
            options.value(QStringLiteral("session_handle_token")).toString();
  return respond(options, 0, {{QStringLiteral("session_handle"), session}});
}

QDBusObjectPath FakePortal::SelectDevices(const QDBusObjectPath& s, const QVariantMap& options) {
  calls.push_back("SelectDevices types=" + std::to_string(options.value(QStringLiteral("types")).toUInt()) +
                  " persist=" + std::to_string(options.value(QStringLiteral("persist_mode")).toUInt()) +
                  " restore=" + options.value(QStringLiteral("restore_token")).toString().toStdString() +
                  (s.path() == session ? "" : " WRONG SESSION"));
  return respond(options, 0, {});
}

QDBusObjectPath FakePortal::Start(const QDBusObjectPath& s, const QString&, const QVariantMap& options) {
  calls.push_back(std::string("Start") + (s.path() == session ? "" : " WRONG SESSION"));
  return respond(options, 0, {{QStringLiteral("devices"), uint(1)}, {QStringLiteral("restore_token"), QStringLiteral("token-1")}});
}

void FakePortal::NotifyKeyboardKeysym(const QDBusObjectPath& s, const QVariantMap&, int keysym, uint state) {
  char text[64];
  std::snprintf(text, sizeof text, "key %x %u%s", keysym, state, s.path() == session ? "" : " WRONG SESSION");
  calls.push_back(text);
}

uint FakeNotifications::Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                               const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
  notes.push_back({app, icon, summary, body, replaces, hints, actions});
  return next_++;
}

void FakeDock::Update(const QString& a, const QVariantMap& p) {
  app = a;
  if (!p.value(QStringLiteral("progress-visible")).toBool()) {
    updates.push_back("hidden");
    return;
  }
  char text[96];
  std::snprintf(text, sizeof text, "progress=%g count=%lld", p.value(QStringLiteral("progress")).toDouble(),
                static_cast<long long>(p.value(QStringLiteral("count")).toLongLong()));
  updates.push_back(text);
}

void FakeServices::portalVanishes() {
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
  connection_.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

FakeServices::FakeServices()
    : connection_(QDBusConnection::connectToBus(QString::fromStdString(busAddress), QStringLiteral("fakes"))) {
  connection_.registerService(QStringLiteral("org.freedesktop.login1"));
  connection_.registerObject(QStringLiteral("/org/freedesktop/login1"), &login, QDBusConnection::ExportAllSlots);
  connection_.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
  connection_.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver,
                             QDBusConnection::ExportAllSlots);
  connection_.registerService(QStringLiteral("org.freedesktop.Notifications"));
  connection_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                             QDBusConnection::ExportAllSlots);
  connection_.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                      QStringLiteral("Update"), &dock, SLOT(Update(QString, QVariantMap)));
  connection_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
  connection_.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
}

FakeServices::~FakeServices() {
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
  connection_.unregisterService(QStringLiteral("org.freedesktop.login1"));
  connection_.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
  connection_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  portalVanishes();
  QDBusConnection::disconnectFromBus(QStringLiteral("fakes"));
}


}  // namespace velmira::test
