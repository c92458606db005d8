#include "qt/desktop_session.h"

#include <unistd.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>

#include "qt/look.h"

namespace velmira::qt {
namespace {

constexpr int kTimeoutMs = 10000;
const QString kApp = QStringLiteral("Velmira");

}  // namespace

QtDesktopSession::QtDesktopSession(QDBusConnection system, QDBusConnection session)
    : system_(std::move(system)), session_(std::move(session)) {}

QtDesktopSession::~QtDesktopSession() { releaseSleep(); }

void QtDesktopSession::inhibitSleep(const std::string& reason) {
  if (generation_ % 2 == 1) return;  // held already
  const int generation = ++generation_;
  auto stillHeld = [this, generation] { return generation_ == generation; };
  if (system_.isConnected()) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << kApp << qs(reason) << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, stillHeld](QDBusPendingCallWatcher* w) {
      w->deleteLater();
      QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
      if (reply.isError() || !reply.value().isValid()) return;
      // The lock lasts as long as a descriptor of it is open.
      const int fd = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
      if (fd < 0) return;
      if (stillHeld() && logindFd_ < 0)
        logindFd_ = fd;
      else
        ::close(fd);
    });
  }
  if (session_.isConnected()) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
    call << kApp << qs(reason);
    auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, stillHeld](QDBusPendingCallWatcher* w) {
      w->deleteLater();
      QDBusPendingReply<uint> reply = *w;
      if (reply.isError()) return;
      if (stillHeld() && !cookie_)
        cookie_ = reply.value();
      else
        unInhibitScreenSaver(reply.value());
    });
  }
}

void QtDesktopSession::releaseSleep() {
  if (generation_ % 2 == 0) return;
  ++generation_;
  if (logindFd_ >= 0) ::close(logindFd_);
  logindFd_ = -1;
  if (cookie_) unInhibitScreenSaver(*cookie_);
  cookie_.reset();
}

void QtDesktopSession::unInhibitScreenSaver(uint cookie) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
      QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("UnInhibit"));
  call << cookie;
  session_.asyncCall(call, kTimeoutMs);
}

}  // namespace velmira::qt
