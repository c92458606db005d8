#include "tests/dbus/fake_services.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

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

FakeServices::FakeServices()
    : connection_(QDBusConnection::connectToBus(QString::fromStdString(busAddress), QStringLiteral("fakes"))) {
  connection_.registerService(QStringLiteral("org.freedesktop.login1"));
  connection_.registerObject(QStringLiteral("/org/freedesktop/login1"), &login, QDBusConnection::ExportAllSlots);
  connection_.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
  connection_.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver,
                             QDBusConnection::ExportAllSlots);
}

FakeServices::~FakeServices() {
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
  connection_.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
  connection_.unregisterService(QStringLiteral("org.freedesktop.login1"));
  connection_.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
  QDBusConnection::disconnectFromBus(QStringLiteral("fakes"));
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents();
    QThread::msleep(1);
  }
  return true;
}

}  // namespace velmira::test
