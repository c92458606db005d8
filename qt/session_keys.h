// The shutter key on the desktop the user has: X11 or Wayland.
//
// On an X11 session the key goes through the X Test extension
// (XTestKeySynth).  On a Wayland session XTEST reaches only programs that
// run under XWayland, so the key goes through the desktop portal's remote
// desktop interface (org.freedesktop.portal.RemoteDesktop): a session with
// the keyboard, which the desktop asks the user to allow once; with
// "persist until revoked" and the restore token the portal hands back, the
// next program runs do not ask again.  Where a Wayland session has no
// portal but an X display, XTEST is used and the user is told once that the
// key reaches only X11 programs.  Where nothing can deliver the key, the
// run stops before counting a photo.
#pragma once

#include <QDBusConnection>
#include <QEventLoop>
#include <QObject>
#include <QVariantMap>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "qt/xtest_key_synth.h"

namespace velmira::qt {

// What decides the path: the session's kind, the portal, the X display.
struct SessionFacts {
  bool wayland = false;  // WAYLAND_DISPLAY set or XDG_SESSION_TYPE=wayland
  bool portal = false;   // org.freedesktop.portal.Desktop on the session bus
  bool xDisplay = false; // DISPLAY set
};

enum class KeyPath { XTest, Portal, None };

struct KeyChoice {
  KeyPath path = KeyPath::None;
  std::optional<std::string> caveat;  // shown once before the first key shot
  std::optional<std::string> reason;  // why no key can be sent (path None)
};

KeyChoice chooseKeyPath(const SessionFacts& facts);

// The keysym of a Windows virtual-key code of F6 to F12, 0 for others.
int keysymFor(uint8_t virtualKey);

// The remote desktop session of the portal, with the keyboard only.
class PortalKeys : public QObject {
  Q_OBJECT
 public:
  // `tokenFile`: where the restore token is kept between program runs.
  PortalKeys(QDBusConnection bus, std::string tokenFile);
  // Starts the requests (once); the portal may show its dialog.
  void request();
  // Nothing when keys can be sent; otherwise why not.  Waits (bounded) for
  // an answer to a request under way, with the window repainting.
  std::optional<std::string> ready();
  void key(int keysym, bool pressed);

 private slots:
  void onResponse(uint response, const QVariantMap& results);
  void onSessionClosed();
  void onPortalGone();

 private:
  enum class State { Idle, Creating, Selecting, Starting, Ready, Failed };
  void call(const QString& method, const QList<QVariant>& args, const QString& token);
  void fail(std::string reason);
  // A request is under way: the portal has not said yes or no yet.
  bool answering() const;
  // Ends a wait of ready() once the portal has answered.
  void settled();

  QDBusConnection bus_;
  std::string tokenFile_;
  State state_ = State::Idle;
  QString session_, requestPath_;
  std::optional<std::string> reason_;
  int tokens_ = 0;
  QEventLoop* answered_ = nullptr;  // the wait of ready(), while it lasts
};

class SessionKeySynth : public platform::KeySynth {
 public:
  // The facts are read from the environment and the session bus.
  SessionKeySynth();
  // For tests: given facts, bus and token file.
  SessionKeySynth(SessionFacts facts, QDBusConnection bus, std::string tokenFile);
  ~SessionKeySynth() override;

  std::optional<std::string> unavailableReason() override;
  void keyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) override;
  void prepare() override;
  std::optional<std::string> caveat() override;
  KeyPath path() {
    decide();
    return choice_.path;
  }

 private:
  // The path is chosen at the first use, from the session as it is then.
  void decide();
  bool decided_ = false;
  KeyChoice choice_;
  XTestKeySynth xtest_;
  std::unique_ptr<PortalKeys> portal_;
};

}  // namespace velmira::qt
