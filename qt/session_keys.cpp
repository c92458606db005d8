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
#include <QSaveFile>
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
// The portal answers about its own interface at once; longer only when the
// bus has to start it first.
constexpr int kProbeTimeoutMs = 5000;
// A key event is taken in a few milliseconds; a portal that has not taken
// it within this time has stopped working.
constexpr int kKeyTimeoutMs = 5000;

bool set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

std::string defaultTokenFile() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
          QStringLiteral("/velmira/portal-teclado"))
      .toStdString();
}

// Request and session tokens unique for the whole program run, so that a
// new request never meets an object of an earlier one.
QString nextToken() {
  static int tokens = 0;
  return QStringLiteral("velmira%1").arg(++tokens);
}

}  // namespace

KeyChoice chooseKeyPath(const SessionFacts& f) {
  if (!f.wayland) return {KeyPath::XTest, std::nullopt, std::nullopt};
  if (f.portal) return {KeyPath::Portal, std::nullopt, std::nullopt};
  if (f.xDisplay)
    return {KeyPath::XTest,
            "Esta sesión de escritorio es Wayland y su portal de escritorio no puede enviar teclas: la tecla "
            "de disparo solo llegará a los programas que funcionan con X11 (XWayland). Compruebe que el "
            "programa de la cámara la recibe.",
            std::nullopt};
  return {KeyPath::None, std::nullopt,
          "la sesión Wayland no tiene un portal de escritorio que pueda enviar teclas ni pantalla X"};
}

SessionFacts sessionFacts(bool wayland, bool xDisplay, QDBusConnection bus) {
  SessionFacts f;
  f.wayland = wayland;
  f.xDisplay = xDisplay;
  if (!wayland || !bus.isConnected()) return f;
  // A portal without a remote desktop backend (as on wlroots desktops)
  // lacks the interface; one whose backend has no keyboard says so in
  // AvailableDeviceTypes.
  QDBusMessage m = QDBusMessage::createMethodCall(kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("GetAll"));
  m << kRemoteDesktop;
  // The window repaints while the bus starts the portal.
  const QDBusMessage reply = bus.call(m, QDBus::BlockWithGui, kProbeTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return f;
  const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().first());
  f.portalVersion = properties.value(QStringLiteral("version")).toUInt();
  f.portal = f.portalVersion >= 1 && (properties.value(QStringLiteral("AvailableDeviceTypes")).toUInt() & kKeyboard);
  return f;
}

int keysymFor(uint8_t virtualKey) {
  // F6 to F12: virtual keys 117 to 123, keysyms 0xFFC3 to 0xFFC9.
  if (virtualKey < 117 || virtualKey > 123) return 0;
  return 0xFFC3 + (virtualKey - 117);
}

// ---- PortalKeys ----------------------------------------------------------------

PortalKeys::PortalKeys(QDBusConnection bus, std::string tokenFile, uint version)
    : bus_(std::move(bus)), tokenFile_(std::move(tokenFile)), version_(version) {
  auto* watcher = new QDBusServiceWatcher(kPortal, bus_, QDBusServiceWatcher::WatchForUnregistration, this);
  connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, &PortalKeys::onPortalGone);
}

PortalKeys::~PortalKeys() {
  // A session this object opened ends with it (after a refusal the portal
  // may still hold it).
  if (!session_.isEmpty())
    bus_.asyncCall(QDBusMessage::createMethodCall(kPortal, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Close")));
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
  const QString token = nextToken();
  QVariantMap options{{QStringLiteral("handle_token"), token}, {QStringLiteral("session_handle_token"), nextToken()}};
  call(QStringLiteral("CreateSession"), {options}, token);
}

void PortalKeys::onResponse(uint response, const QVariantMap& results) {
  if (response != 0) {
    if (response == 1)
      return fail("no se ha dado permiso para enviar la tecla");
    return fail("el portal de escritorio ha rechazado la petición");
  }
  const QString token = nextToken();
  switch (state_) {
    case State::Creating: {
      session_ = results.value(QStringLiteral("session_handle")).toString();
      if (session_.isEmpty()) return fail("el portal de escritorio no ha abierto la sesión");
      bus_.connect(QString(), session_, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"),
                   this, SLOT(onSessionClosed()));
      QVariantMap options{{QStringLiteral("handle_token"), token}, {QStringLiteral("types"), kKeyboard}};
      // Keeping the permission came with version 2; an older portal does
      // not know these options.
      if (version_ >= 2) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        QFile saved(QString::fromStdString(tokenFile_));
        if (saved.open(QIODevice::ReadOnly)) {
          const QString restore = QString::fromUtf8(saved.read(4096)).trimmed();
          if (!restore.isEmpty()) options.insert(QStringLiteral("restore_token"), restore);
        }
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
      if (version_ >= 2 && !restore.isEmpty()) keepToken(restore);
      state_ = State::Ready;
      settled();
      break;
    }
    default:
      break;
  }
}

void PortalKeys::keepToken(const QString& token) {
  // Whoever reads the token may use the keyboard without asking: the file
  // is the user's alone, and replaces the old one only once whole.
  const QString path = QString::fromStdString(tokenFile_);
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile out(path);
  const QByteArray bytes = token.toUtf8();
  const bool kept = out.open(QIODevice::WriteOnly) &&
                    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                    out.write(bytes) == bytes.size() && out.commit();
  if (!kept)
    notice_ = "No se ha podido guardar el permiso del teclado en " + tokenFile_ +
              ": el escritorio volverá a pedirlo la próxima vez que se abra Velmira.";
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

std::optional<std::string> PortalKeys::key(int keysym, bool pressed) {
  if (state_ != State::Ready) return reason_.value_or("la sesión del portal de escritorio no está abierta");
  QDBusMessage m =
      QDBusMessage::createMethodCall(kPortal, kPortalPath, kRemoteDesktop, QStringLiteral("NotifyKeyboardKeysym"));
  m.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap(), keysym, uint(pressed ? 1 : 0)});
  // Blocks this thread only: the bus's own thread takes the answer in, and
  // no handler of the window runs between a press and its release.
  QDBusPendingCall sent = bus_.asyncCall(m, kKeyTimeoutMs);
  sent.waitForFinished();
  if (!sent.isError()) return std::nullopt;
  fail("el portal de escritorio no ha aceptado la tecla (" + sent.error().name().toStdString() + ")");
  return reason_;
}

// ---- SessionKeySynth -------------------------------------------------------------

SessionKeySynth::SessionKeySynth()
    : SessionKeySynth(set("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland", set("DISPLAY"),
                      QDBusConnection::sessionBus(), defaultTokenFile()) {}

SessionKeySynth::SessionKeySynth(bool wayland, bool xDisplay, QDBusConnection bus, std::string tokenFile)
    : wayland_(wayland), xDisplay_(xDisplay), bus_(std::move(bus)), tokenFile_(std::move(tokenFile)) {}

SessionKeySynth::~SessionKeySynth() = default;

void SessionKeySynth::decide() {
  if (decided_) return;
  decided_ = true;
  const SessionFacts facts = sessionFacts(wayland_, xDisplay_, bus_);
  choice_ = chooseKeyPath(facts);
  portal_.reset();
  if (choice_.path == KeyPath::Portal) portal_ = std::make_unique<PortalKeys>(bus_, tokenFile_, facts.portalVersion);
}

void SessionKeySynth::prepare() {
  // A refusal or a lost session is not for ever: the session is looked at
  // again (the portal may have restarted, or gone) and the user asked again.
  if (!portal_ || portal_->failed()) decided_ = false;
  decide();
  if (portal_) portal_->request();
}

std::optional<std::string> SessionKeySynth::caveat() {
  decide();
  return choice_.caveat;
}

std::optional<std::string> SessionKeySynth::notice() { return portal_ ? portal_->takeNotice() : std::nullopt; }

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
  // After a press the portal did not take, its release is not sent.
  if (!portal_ || !keysymFor(virtualKey) || failure_) return;
  failure_ = portal_->key(keysymFor(virtualKey), (flags & 2) == 0);
}

}  // namespace velmira::qt
