#include "tests/dbus/bus.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace velmira::test {
namespace {

QString show(const QVariant& v) {
  if (v.userType() == qMetaTypeId<QDBusArgument>()) {
    const auto a = v.value<QDBusArgument>();
    return show(a.currentType() == QDBusArgument::MapType ? QVariant(qdbus_cast<QVariantMap>(a))
                                                           : QVariant(qdbus_cast<QStringList>(a)));
  }
  if (v.userType() == qMetaTypeId<QDBusVariant>()) return show(v.value<QDBusVariant>().variant());
  if (v.userType() == QMetaType::QStringList)
    return v.toStringList().isEmpty() ? QString() : QLatin1Char('[') + v.toStringList().join(", ") + ']';
  if (v.userType() != QMetaType::QVariantMap) return v.toString();
  QStringList items;
  for (const auto& [key, value] : v.toMap().asKeyValueRange())
    if (!key.endsWith(QLatin1String("handle_token"))) items << key + ": " + show(value);
  return items.isEmpty() ? QString() : QLatin1Char('{') + items.join(", ") + '}';
}

const QString kPortal = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kBackend = QStringLiteral("org.freedesktop.impl.portal.desktop.velmira");
const QString kFrontend = QStringLiteral("org.freedesktop.portal.Desktop");
// The fakes' names, in Desktop's order: logind, screen saver, notifications, portal.
const char* const kServices[] = {"org.freedesktop.login1", "org.freedesktop.ScreenSaver",
                                 "org.freedesktop.Notifications", "org.freedesktop.portal.Desktop"};

}  // namespace

void FakeService::record(const QDBusMessage& m) {
  QStringList args;
  for (const QVariant& a : m.arguments())
    if (a.userType() != qMetaTypeId<QDBusObjectPath>() && !show(a).isEmpty()) args << show(a);
  std::lock_guard lock(mutex_);
  log_.push_back((m.member() + '(' + args.join(", ") + ')').toStdString());
}

Strings FakeService::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

bool FakeService::handleMessage(const QDBusMessage& m, const QDBusConnection& connection) {
  if (m.interface() == QLatin1String("org.freedesktop.DBus.Introspectable")) return false;
  QVariantList reply;
  if (m.member() == QLatin1String("GetAll")) {
    reply = {properties};
  } else {
    record(m);
    if (auto answer = answers.find(m.member()); answer != answers.end()) reply = answer->second(m);
  }
  connection.send(m.createReply(reply));
  return true;
}

Desktop::Desktop()
    : bus(QDBusConnection::connectToBus(QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), "fakes")) {
  login.answers["Inhibit"] = [this](const QDBusMessage&) {
    // The lock lasts while a copy of the write end is open.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return QVariantList{};
    if (lockEnd >= 0) ::close(lockEnd);
    lockEnd = fds[0];
    const QDBusUnixFileDescriptor lock(fds[1]);  // a copy of its own
    ::close(fds[1]);
    return QVariantList{QVariant::fromValue(lock)};
  };
  screenSaver.answers["Inhibit"] = [cookie = 42u](const QDBusMessage&) mutable { return QVariantList{cookie++}; };
  notifications.answers["Notify"] = [id = 7u](const QDBusMessage&) mutable { return QVariantList{id++}; };
  // The portal answers each request by the Response signal of its request
  // object, after the method's own reply, as the real one after its dialog.
  const auto handle = [](const QDBusMessage& m, const char* kind, const char* key) {
    return kPortal + '/' + kind + '/' + m.service().mid(1).replace('.', '_') + '/' +
           qdbus_cast<QVariantMap>(m.arguments().last()).value(key).toString();
  };
  const auto respond = [this, handle](QVariantMap results) {
    return [this, handle, results](const QDBusMessage& m) mutable {
      const QString path = handle(m, "request", "handle_token");
      if (results.contains("session_handle")) results["session_handle"] = handle(m, "session", "session_handle_token");
      QTimer::singleShot(10, &portal, [this, path, results] {
        bus.send(QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response") << 0u << results);
      });
      return QVariantList{QVariant::fromValue(QDBusObjectPath(path))};
    };
  };
  portal.answers = {{"CreateSession", respond({{"session_handle", {}}})},
                    {"SelectDevices", respond({})},
                    {"Start", respond({{"devices", 1u}, {"restore_token", "token-1"}})}};
  portal.properties = {{"version", 2u}, {"AvailableDeviceTypes", 1u}};
  FakeService* services[] = {&login, &screenSaver, &notifications, &portal};
  for (int i = 0; i < 4; ++i) {
    bus.registerService(kServices[i]);
    bus.registerVirtualObject(i == 3 ? kPortal : '/' + QString(kServices[i]).replace('.', '/'), services[i]);
  }
  bus.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", &dock, SLOT(record(QDBusMessage)));
}

Desktop::~Desktop() {
  for (const char* name : kServices) bus.unregisterService(name);
  QDBusConnection::disconnectFromBus("fakes");
  if (lockEnd >= 0) ::close(lockEnd);
}

bool Desktop::lockHeld() const {
  pollfd p{lockEnd, POLLIN, 0};
  return lockEnd >= 0 && poll(&p, 1, 0) == 0;  // the end of the pipe shows as readable
}

RealPortal::RealPortal(bool remoteDesktop, uint devices)
    : bus_(QDBusConnection::connectToBus(QString::fromUtf8(qgetenv("DBUS_SESSION_BUS_ADDRESS")), "backend")) {
  // The frontend takes the backends whose UseIn names the desktop.
  QFile file(dir_.filePath("velmira.portal"));
  file.open(QIODevice::WriteOnly);
  file.write("[portal]\nDBusName=" + kBackend.toUtf8() + "\nInterfaces=" +
             (remoteDesktop ? "org.freedesktop.impl.portal.RemoteDesktop;" : "") + "\nUseIn=velmira\n");
  file.close();
  backend.properties = {{"version", 1u}, {"AvailableDeviceTypes", devices}};
  backend.answers["CreateSession"] = [this](const QDBusMessage& m) {
    std::lock_guard lock(mutex_);
    session_ = m.arguments().value(1).value<QDBusObjectPath>().path();
    return QVariantList{0u, QVariantMap()};
  };
  backend.answers["SelectDevices"] = [](const QDBusMessage&) { return QVariantList{0u, QVariantMap()}; };
  backend.answers["Start"] = [this](const QDBusMessage&) {
    return refuse ? QVariantList{1u, QVariantMap()} : QVariantList{0u, QVariantMap{{"devices", 1u}}};
  };
  // On a thread of its own, as a backend is a process of its own: the
  // program's thread blocks while the frontend hands a key on.
  backend.moveToThread(&thread_);
  thread_.start();
  bus_.registerService(kBackend);
  bus_.registerVirtualObject(kPortal, &backend);
  start();
}

RealPortal::~RealPortal() {
  stop();
  bus_.unregisterService(kBackend);
  bus_.unregisterObject(kPortal);
  thread_.quit();
  thread_.wait();
  QDBusConnection::disconnectFromBus("backend");
}

void RealPortal::start() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DESKTOP_PORTAL_DIR", dir_.path());
  env.insert("XDG_CURRENT_DESKTOP", "velmira");
  frontend_.setProcessEnvironment(env);
  frontend_.start("/usr/libexec/xdg-desktop-portal", {"--replace"});
  if (!QTest::qWaitFor([this] { return bus_.interface()->isServiceRegistered(kFrontend).value(); }, 10000))
    throw std::runtime_error("xdg-desktop-portal did not start");
}

void RealPortal::stop() {
  frontend_.terminate();
  frontend_.waitForFinished(5000);
  QTest::qWaitFor([this] { return !bus_.interface()->isServiceRegistered(kFrontend).value(); }, 5000);
}

void RealPortal::closeSession() {
  std::lock_guard lock(mutex_);
  bus_.send(QDBusMessage::createSignal(session_, "org.freedesktop.impl.portal.Session", "Closed"));
}

}  // namespace velmira::test

// The tests' own bus, for both buses: they never reach the machine's.
int main(int argc, char** argv) {
  QTemporaryFile config;
  config.open();
  config.write("<busconfig><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
  config.flush();
  FILE* daemon = popen(("exec dbus-daemon --nofork --print-address=1 --print-pid=1 --config-file=" +
                        config.fileName().toStdString()).c_str(), "r");
  char address[512] = "", pid[32] = "";
  if (!daemon || !fgets(address, sizeof address, daemon) || !fgets(pid, sizeof pid, daemon)) return 1;
  address[strcspn(address, "\n")] = 0;
  setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
  setenv("DBUS_SYSTEM_BUS_ADDRESS", address, 1);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int failed = RUN_ALL_TESTS();
  kill(atoi(pid), SIGTERM);
  pclose(daemon);
  return failed;
}
