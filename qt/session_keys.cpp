#include "qt/session_keys.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>

namespace velmira::qt {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr uint kKeyboard = 1;
constexpr uint kPersistUntilRevoked = 2;
// The user may take a while to read the portal's dialog.
constexpr int kAnswerTimeoutMs = 120000;

bool set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

SessionFacts factsOfThisSession() {
  SessionFacts f;
  const char* type = std::getenv("XDG_SESSION_TYPE");
  f.wayland = set("WAYLAND_DISPLAY") || (type && std::string(type) == "wayland");
  f.xDisplay = set("DISPLAY");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (f.wayland && bus.isConnected() && bus.interface()) {
    f.portal = bus.interface()->isServiceRegistered(kPortal).value() ||
               bus.interface()->activatableServiceNames().value().contains(kPortal);
  }
  return f;
}

std::string defaultTokenFile() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
          QStringLiteral("/velmira/portal-teclado"))
      .toStdString();
}

}  // namespace

KeyChoice chooseKeyPath(const SessionFacts& f) {
  if (!f.wayland) return {KeyPath::XTest, std::nullopt, std::nullopt};
  if (f.portal) return {KeyPath::Portal, std::nullopt, std::nullopt};
  if (f.xDisplay)
    return {KeyPath::XTest,
            "Esta sesión de escritorio es Wayland y no tiene el portal de escritorio: la tecla de disparo "
            "solo llegará a los programas que funcionan con X11 (XWayland). Compruebe que el programa de la "
            "cámara la recibe.",
            std::nullopt};
  return {KeyPath::None, std::nullopt, "la sesión Wayland no tiene el portal de escritorio ni pantalla X"};
}

int keysymFor(uint8_t virtualKey) {
  // F6 to F12: virtual keys 117 to 123, keysyms 0xFFC3 to 0xFFC9.
  if (virtualKey < 117 || virtualKey > 123) return 0;
  return 0xFFC3 + (virtualKey - 117);
}

// ---- PortalKeys ----------------------------------------------------------------

PortalKeys::PortalKeys(QDBusConnection bus, std::string tokenFile)
    : bus_(std::move(bus)), tokenFile_(std::move(tokenFile)) {
  auto* watcher = new QDBusServiceWatcher(kPortal, bus_, QDBusServiceWatcher::WatchForUnregistration, this);
  connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &PortalKeys::onPortalGone);
}

void PortalKeys::call(const QString& method, const QList<QVariant>& args, const QString& token) {
  // The answer comes as the Response signal of a request object whose path
  // is known before the call: listen first, so that no answer is missed.
  QString sender = bus_.baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  if (!requestPath_.isEmpty())
    bus_.disconnect(QString(), requestPath_, QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
  requestPath_ = kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
  bus_.connect(QString(), requestPath_, QStringLiteral("org.freedesktop.portal.Request"),
               QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
  QDBusMessage m = QDBusMessage::createMethodCall(kPortal, kPortalPath, kRemoteDesktop, method);
  m.setArguments(args);
  auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(m, kAnswerTimeoutMs), this);
  connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    if (w->isError()) fail("el portal de escritorio no está disponible (" + w->error().name().toStdString() + ")");
  });
}

void PortalKeys::request() {
  if (state_ != State::Idle) return;
  if (!bus_.isConnected()) return fail("no hay bus de sesión");
  state_ = State::Creating;
  const QString token = QStringLiteral("velmira%1").arg(++tokens_);
  QVariantMap options{{QStringLiteral("handle_token"), token},
                      {QStringLiteral("session_handle_token"), QStringLiteral("velmira")}};
  call(QStringLiteral("CreateSession"), {options}, token);
}

void PortalKeys::onResponse(uint response, const QVariantMap& results) {
  if (response != 0) {
    if (response == 1)
      return fail("no se ha dado permiso para enviar la tecla");
    return fail("el portal de escritorio ha rechazado la petición");
  }
  const QString token = QStringLiteral("velmira%1").arg(++tokens_);
  switch (state_) {
    case State::Creating: {
      session_ = results.value(QStringLiteral("session_handle")).toString();
      if (session_.isEmpty()) return fail("el portal de escritorio no ha abierto la sesión");
      bus_.connect(QString(), session_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"),
                   this, SLOT(onSessionClosed()));
      QVariantMap options{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("types"), kKeyboard},
                          {QStringLiteral("persist_mode"), kPersistUntilRevoked}};
      QFile saved(QString::fromStdString(tokenFile_));
      if (saved.open(QIODevice::ReadOnly)) {
        const QString restore = QString::fromUtf8(saved.read(4096)).trimmed();
        if (!restore.isEmpty()) options.insert(QStringLiteral("restore_token"), restore);
      }
      state_ = State::Selecting;
      call(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session_)), options}, token);
      break;
    }
    case State::Selecting: {
      state_ = State::Starting;
      QVariantMap options{{QStringLiteral("handle_token"), token}};
      call(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session_)), QString(), options}, token);
      break;
    }
    case State::Starting: {
      if (!(results.value(QStringLiteral("devices")).toUInt() & kKeyboard))
        return fail("no se ha dado permiso para usar el teclado");
      const QString restore = results.value(QStringLiteral("restore_token")).toString();
      if (!restore.isEmpty()) {
        QDir().mkpath(QFileInfo(QString::fromStdString(tokenFile_)).absolutePath());
        QFile out(QString::fromStdString(tokenFile_));
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) out.write(restore.toUtf8());
      }
      state_ = State::Ready;
      settled();
      break;
    }
    default:
      break;
  }
}

void PortalKeys::onSessionClosed() { fail("la sesión del portal de escritorio ha terminado"); }

void PortalKeys::onPortalGone() { fail("el portal de escritorio ha dejado de funcionar"); }

void PortalKeys::fail(std::string reason) {
  if (state_ == State::Failed) return;
  state_ = State::Failed;
  reason_ = std::move(reason);
  settled();
}

bool PortalKeys::answering() const {
  return state_ == State::Creating || state_ == State::Selecting || state_ == State::Starting;
}

void PortalKeys::settled() {
  if (!answering() && answered_) answered_->quit();
}

std::optional<std::string> PortalKeys::ready() {
  request();
  if (answering()) {
    // Sleeps until the portal answers (the user may be reading its dialog),
    // with the window repainting; the user's input waits for the run's next
    // event pass.
    QEventLoop loop;
    QTimer::singleShot(kAnswerTimeoutMs, &loop, &QEventLoop::quit);
    answered_ = &loop;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    answered_ = nullptr;
    if (answering()) fail("el escritorio no ha contestado a la petición de permiso");
  }
  if (state_ == State::Ready) return std::nullopt;
  return reason_;
}

void PortalKeys::key(int keysym, bool pressed) {
  if (state_ != State::Ready) return;
  QDBusMessage m =
      QDBusMessage::createMethodCall(kPortal, kPortalPath, kRemoteDesktop, QStringLiteral("NotifyKeyboardKeysym"));
  m.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap(), keysym, uint(pressed ? 1 : 0)});
  bus_.asyncCall(m);
}

// ---- SessionKeySynth -------------------------------------------------------------

SessionKeySynth::SessionKeySynth() = default;

SessionKeySynth::SessionKeySynth(SessionFacts facts, QDBusConnection bus, std::string tokenFile)
    : choice_(chooseKeyPath(facts)) {
  if (choice_.path == KeyPath::Portal) portal_ = std::make_unique<PortalKeys>(std::move(bus), std::move(tokenFile));
  decided_ = true;
}

SessionKeySynth::~SessionKeySynth() = default;

void SessionKeySynth::decide() {
  if (decided_) return;
  decided_ = true;
  choice_ = chooseKeyPath(factsOfThisSession());
  if (choice_.path == KeyPath::Portal)
    portal_ = std::make_unique<PortalKeys>(QDBusConnection::sessionBus(), defaultTokenFile());
}

void SessionKeySynth::prepare() {
  decide();
  if (portal_) portal_->request();
}

std::optional<std::string> SessionKeySynth::caveat() {
  decide();
  return choice_.caveat;
}

std::optional<std::string> SessionKeySynth::unavailableReason() {
  decide();
  switch (choice_.path) {
    case KeyPath::XTest: return xtest_.unavailableReason();
    case KeyPath::Portal: return portal_->ready();
    case KeyPath::None: return choice_.reason;
  }
  return choice_.reason;
}

void SessionKeySynth::keyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) {
  decide();
  if (choice_.path == KeyPath::XTest) return xtest_.keyEvent(virtualKey, scanCode, flags, extraInfo);
  if (portal_ && keysymFor(virtualKey)) portal_->key(keysymFor(virtualKey), (flags & 2) == 0);
}

}  // namespace velmira::qt
