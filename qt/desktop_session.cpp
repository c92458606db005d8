#include "qt/desktop_session.h"

#include <unistd.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDesktopServices>
#include <QUrl>
#include <fcntl.h>

#include <algorithm>

#include "qt/look.h"

namespace velmira::qt {
namespace {

constexpr int kTimeoutMs = 10000;
const QString kApp = QStringLiteral("Velmira");

QString fotos(int n) { return n == 1 ? QStringLiteral("1 foto") : QStringLiteral("%1 fotos").arg(n); }
QString fotogramas(int n) { return n == 1 ? QStringLiteral("1 fotograma") : QStringLiteral("%1 fotogramas").arg(n); }

}  // namespace

QtDesktopSession::QtDesktopSession(QDBusConnection system, QDBusConnection session)
    : system_(std::move(system)), session_(std::move(session)) {
  if (session_.isConnected())
    session_.connect(QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                     QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
}

void QtDesktopSession::actionInvoked(uint id, const QString& action) {
  if (id != notification_ || folder_.isEmpty() || action != QStringLiteral("default")) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder_));
}

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

void QtDesktopSession::launcher(double progress, int count, bool visible) {
  if (!session_.isConnected()) return;
  QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/velmira"),
                                                   QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                   QStringLiteral("Update"));
  update << QStringLiteral("application://velmira.desktop")
         << QVariantMap{{QStringLiteral("progress"), progress},
                        {QStringLiteral("progress-visible"), visible},
                        {QStringLiteral("count"), qint64(count)},
                        {QStringLiteral("count-visible"), visible}};
  session_.send(update);
}

void QtDesktopSession::notify(const QString& summary, const QString& body, const QString& folder) {
  if (!session_.isConnected()) return;
  // The next notification replaces this one, so it waits for its id.
  if (notifying_) {
    next_ = Pending{summary, body, folder};
    return;
  }
  notifying_ = true;
  folder_ = folder;
  // Activating the notification (a click on it) opens the stack's folder.
  QStringList actions;
  if (!folder.isEmpty()) actions << QStringLiteral("default") << QStringLiteral("Abrir la carpeta");
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  call << kApp << notification_ << QStringLiteral("velmira") << summary << body << actions
       << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("velmira")}} << -1;
  auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call, kTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    QDBusPendingReply<uint> reply = *w;
    if (!reply.isError()) notification_ = reply.value();
    notifying_ = false;
    if (next_) {
      const Pending p = *next_;
      next_.reset();
      notify(p.summary, p.body, p.folder);
    }
  });
}

QString QtDesktopSession::duration(int64_t ms) {
  const int64_t s = (std::max<int64_t>(ms, 0) + 500) / 1000;
  if (s >= 3600 - 30) {
    const int64_t m = (s + 30) / 60;
    return QStringLiteral("%1 h %2 min").arg(m / 60).arg(m % 60);
  }
  if (s >= 60) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
  return QStringLiteral("%1 s").arg(s);
}

void QtDesktopSession::runStarted(const RunPlan& plan) {
  showingRun_ = true;
  notification_ = 0;
  launcher(0, plan.frames, true);
  const QString end = wallClock().addMSecs(plan.expectedMs).toString(QStringLiteral("HH:mm"));
  notify(QStringLiteral("Pila de fotos en marcha"),
         QStringLiteral("%1 en %2. Terminará hacia las %3 (dentro de %4).")
             .arg(fotos(plan.photos), fotogramas(plan.frames), end, duration(plan.expectedMs)));
}

void QtDesktopSession::runProgress(int framesDone, int frames) {
  launcher(frames > 0 ? static_cast<double>(framesDone) / frames : 1.0, frames - framesDone, true);
}

void QtDesktopSession::runEnded(const RunOutcome& o) {
  showingRun_ = false;
  launcher(0, 0, false);
  QString took = QStringLiteral("%1 en %2.").arg(fotos(o.photos), duration(o.tookMs));
  const QString folder = qs(o.folder);
  if (!folder.isEmpty()) took += QStringLiteral(" Fotos en %1").arg(folder);
  if (o.how == RunEnd::Finished) {
    notify(QStringLiteral("Pila de fotos terminada"), took, folder);
    return;
  }
  QString why = o.how == RunEnd::LinkFailed ? QStringLiteral("fallo del enlace con el controlador")
                : o.how == RunEnd::NoKey    ? QStringLiteral("no se pudo enviar la tecla de disparo")
                                            : QStringLiteral("se paró el proceso");
  if (o.how == RunEnd::CameraFailed) {
    why = qs(o.cause);
    if (why.endsWith(QLatin1Char('.'))) why.chop(1);
  }
  notify(QStringLiteral("Pila de fotos detenida"),
         QStringLiteral("Detenida en el fotograma %1 de %2: %3. %4").arg(o.frame).arg(o.frames).arg(why, took),
         folder);
}

}  // namespace velmira::qt
