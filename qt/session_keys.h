// The shutter key on the desktop the user has: X11 or Wayland.
//
// On an X11 session the key goes through the X Test extension
// (XTestKeySynth).  On a Wayland session XTEST reaches only programs that
// run under XWayland, so the key goes through the desktop portal's remote
// desktop interface (org.freedesktop.portal.RemoteDesktop): a session with
// the keyboard, which the desktop asks the user to allow.  A portal of
// version 2 or later keeps the permission ("persist until revoked" and the
// restore token it hands back), so the next program runs do not ask again;
// an older one asks once per program run.  Where a Wayland session has no
// portal that offers a keyboard but an X display, XTEST is used and the
// user is told once that the key reaches only X11 programs.  Where nothing
// can deliver the key, the run stops before counting a photo.
#pragma once

#include <QDBusConnection>
#include <QEventLoop>
#include <QObject>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "qt/xtest_key_synth.h"

namespace velmira::qt {

// What decides the path: the session's kind, the portal, the X display.
struct SessionFacts {
  bool wayland = false;  // WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland
  bool portal = false;   // the session's portal offers a remote keyboard
  bool xDisplay = false; // DISPLAY set
  uint portalVersion = 0;  // of its RemoteDesktop interface
};

enum class KeyPath { XTest, Portal, None };

struct KeyChoice {
  KeyPath path = KeyPath::None;
  std::optional<std::string> caveat;  // shown once before the first key shot
  std::optional<std::string> reason;  // why no key can be sent (path None)
};

KeyChoice chooseKeyPath(const SessionFacts& facts);

// The facts of a session of the given kind, its portal asked on `bus`
// (whether its RemoteDesktop interface offers a keyboard, and its version).
SessionFacts sessionFacts(bool wayland, bool xDisplay, QDBusConnection bus);

// The keysym of a Windows virtual-key code of F6 to F12, 0 for others.
int keysymFor(uint8_t virtualKey);

// The remote desktop session of the portal, with the keyboard only.
class PortalKeys : public QObject {
  Q_OBJECT
 public:
  // `tokenFile`: where the restore token is kept between program runs;
  // `version`: of the portal's RemoteDesktop interface.
  PortalKeys(QDBusConnection bus, std::string tokenFile, uint version);
  ~PortalKeys() override;
  // Starts the requests (once); the portal may show its dialog.
  void request();
  // Nothing when keys can be sent; otherwise why not.  Waits (bounded) for
  // an answer to a request under way, with the window repainting.
  std::optional<std::string> ready();
  // Sends one key event and waits (bounded, nothing else running) until the
  // portal has taken it; why not, when it did not.
  std::optional<std::string> key(int keysym, bool pressed);
  // Neither usable nor asking: a request would have to start again.
  bool failed() const { return state_ == State::Failed; }
  // Why the permission could not be kept for the next program run, once.
  std::optional<std::string> takeNotice() { return std::exchange(notice_, std::nullopt); }

 private slots:
  void onResponse(uint response, const QVariantMap& results);
  void onSessionClosed();
  void onPortalGone();

 private:
  enum class State { Idle, Creating, Selecting, Starting, Ready, Failed };
  void call(const QString& method, const QList<QVariant>& args, const QString& token);
  void fail(std::string reason);
  void keepToken(const QString& token);
  // A request is under way: the portal has not said yes or no yet.
  bool answering() const;
  // Ends a wait of ready() once the portal has answered.
  void settled();

  QDBusConnection bus_;
  std::string tokenFile_;
  uint version_;
  State state_ = State::Idle;
  QString session_, requestPath_;
  std::optional<std::string> reason_, notice_;
  QEventLoop* answered_ = nullptr;  // the wait of ready(), while it lasts
};

class SessionKeySynth : public platform::KeySynth {
 public:
  // The session is read from the environment and the session bus.
  SessionKeySynth();
  // For tests: a session of the given kind, its portal on `bus`.
  SessionKeySynth(bool wayland, bool xDisplay, QDBusConnection bus, std::string tokenFile);
  ~SessionKeySynth() override;

  std::optional<std::string> unavailableReason() override;
  void keyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) override;
  std::optional<std::string> failure() override { return std::exchange(failure_, std::nullopt); }
  std::optional<std::string> notice() override;
  void prepare() override;
  std::optional<std::string> caveat() override;
  KeyPath path() {
    decide();
    return choice_.path;
  }

 private:
  // The path is chosen at the first use, from the session as it is then,
  // and again when key shots are coming after the portal's path failed.
  void decide();
  bool decided_ = false;
  bool wayland_, xDisplay_;
  QDBusConnection bus_;
  std::string tokenFile_;
  KeyChoice choice_;
  XTestKeySynth xtest_;
  std::unique_ptr<PortalKeys> portal_;
  std::optional<std::string> failure_;
};

}  // namespace velmira::qt
