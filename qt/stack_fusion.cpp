#include "qt/stack_fusion.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>
#include <QVariantMap>
#include <cmath>

#include "stacking/frames.h"
#include "stacking/record.h"

namespace velmira::qt {

namespace {

constexpr int kTimeoutMs = 5000;
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

QtStackFusion::QtStackFusion(platform::Processes& processes, platform::Clock& clock, QDBusConnection session)
    : processes_(processes), clock_(clock), session_(std::move(session)) {
  open = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
  // Any sender: the server's unique name is not known in advance.
  session_.connect(QString(), kNotificationsPath, kNotifications, QStringLiteral("ActionInvoked"), this,
                   SLOT(actionInvoked(uint, QString)));
}

QtStackFusion::~QtStackFusion() {
  // The tools are killed at once; the work folder goes with the fusion.
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

std::optional<std::string> QtStackFusion::fuse(const std::string& folder) {
  const std::vector<std::string> missing = stacking::missingTools(processes_);
  if (!missing.empty()) {
    stacking::Outcome outcome;
    outcome.ending = stacking::Ending::ToolsMissing;
    outcome.message = "No se pudo apilar la foto: faltan las herramientas de apilado. Instálelas con «" +
                      std::string(stacking::kInstallHint) + "».";
    stacking::addToRecord(folder, outcome);  // the record says why there is no picture
    return outcome.message;
  }
  queue_.push_back(folder);
  if (!running_) startNext();
  return std::nullopt;
}

void QtStackFusion::startNext() {
  if (queue_.empty() || cancel_) return;
  if (worker_.joinable()) worker_.join();
  const std::string folder = queue_.front();
  queue_.pop_front();
  running_ = true;
  launcher(0, true);
  worker_ = std::thread([this, folder] {
    stacking::Outcome outcome;
    stacking::FrameScan scan = stacking::scanFolder(folder);
    if (scan.problem) {
      outcome.message = "No se pudo apilar: " + *scan.problem;
    } else {
      stacking::Job job{scan.frames, folder + "/" + stacking::kResultTif, folder + "/" + stacking::kResultJpg};
      // Told to the window only when it shows on the dock: a whole percent.
      int shown = -1;
      outcome = stacking::fuseStack(processes_, clock_, job, {}, [&](const stacking::Progress& p) {
        const int percent = static_cast<int>(p.fraction * 100);
        if (percent == shown) return;
        shown = percent;
        QMetaObject::invokeMethod(this, [this, p] { progress(p); }, Qt::QueuedConnection);
      }, cancel_);
    }
    if (outcome.ending == stacking::Ending::Cancelled) return;  // the program is ending
    stacking::addToRecord(folder, outcome);
    QMetaObject::invokeMethod(this, [this, folder, outcome] { finish(folder, outcome); }, Qt::QueuedConnection);
  });
}

void QtStackFusion::progress(const stacking::Progress& p) { launcher(p.fraction, true); }

void QtStackFusion::finish(const std::string& folder, const stacking::Outcome& o) {
  running_ = false;
  launcher(0, false);
  const bool done = o.ending == stacking::Ending::Done;
  const QString picture = QString::fromStdString(folder + "/" + stacking::kResultJpg);
  if (session_.isConnected()) {
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                                       QStringLiteral("Notify"));
    const QString summary = done ? QStringLiteral("Foto apilada lista") : QStringLiteral("No se pudo apilar la pila");
    const QString body =
        done ? QStringLiteral("%1 (%2 fotos en %3 s).")
                   .arg(picture)
                   .arg(o.frames)
                   .arg(std::round(static_cast<double>(o.elapsedMs) / 1000.0))
             : QString::fromStdString(o.message);
    const QStringList actions = done ? QStringList{QStringLiteral("default"), QStringLiteral("Abrir")} : QStringList();
    call << QStringLiteral("Velmira") << uint(0) << QStringLiteral("velmira") << summary << body << actions
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("velmira")}} << -1;
    auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, done, picture](QDBusPendingCallWatcher* w) {
      w->deleteLater();
      QDBusPendingReply<uint> reply = *w;
      if (done && !reply.isError()) pictures_[reply.value()] = picture;
    });
  }
  if (ended) ended(folder, o);
  startNext();
}

void QtStackFusion::actionInvoked(uint id, const QString& action) {
  auto it = pictures_.find(id);
  if (it == pictures_.end() || (action != QStringLiteral("default") && action != QStringLiteral("Abrir"))) return;
  open(it->second);
}

void QtStackFusion::launcher(double progress, bool visible) {
  if (!session_.isConnected() || runOnDock()) return;
  QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/velmira"),
                                                   QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                   QStringLiteral("Update"));
  update << QStringLiteral("application://velmira.desktop")
         << QVariantMap{{QStringLiteral("progress"), progress}, {QStringLiteral("progress-visible"), visible}};
  session_.send(update);
}

}  // namespace velmira::qt
