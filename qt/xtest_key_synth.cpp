#include "qt/xtest_key_synth.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdlib>

namespace velmira::qt {

XTestKeySynth::XTestKeySynth(std::string display) : displayName_(std::move(display)) {}

XTestKeySynth::~XTestKeySynth() {
  if (display_) XCloseDisplay(display_);
}

unsigned long XTestKeySynth::keySymFor(uint8_t vk) {
  if (vk >= 117 && vk <= 123) return XK_F6 + (vk - 117);  // XK_F6 .. XK_F12 are consecutive
  return 0;
}

bool XTestKeySynth::connect() {
  if (tried_) return display_ != nullptr;
  tried_ = true;
  const char* name = displayName_.empty() ? std::getenv("DISPLAY") : displayName_.c_str();
  if (!name || !*name) {
    reason_ = "No hay pantalla X11 (la variable DISPLAY está vacía; en una sesión Wayland sin XWayland no se "
              "pueden enviar teclas a otro programa), así que no se puede pulsar la tecla de disparo.";
    return false;
  }
  display_ = XOpenDisplay(name);
  if (!display_) {
    reason_ = std::string("No se puede abrir la pantalla X11 \"") + name +
              "\", así que no se puede pulsar la tecla de disparo.";
    return false;
  }
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display_, &event, &error, &major, &minor)) {
    reason_ = "El servidor X no tiene la extensión XTEST, así que no se puede pulsar la tecla de disparo.";
    XCloseDisplay(display_);
    display_ = nullptr;
    return false;
  }
  return true;
}

std::optional<std::string> XTestKeySynth::unavailableReason() {
  connect();
  return reason_;
}

void XTestKeySynth::keyEvent(uint8_t vk, uint8_t, uint32_t flags, uintptr_t) {
  const unsigned long sym = keySymFor(vk);
  if (!sym || !connect()) return;
  const KeyCode code = XKeysymToKeycode(display_, sym);
  if (!code) return;
  XTestFakeKeyEvent(display_, code, (flags & 2) ? False : True, CurrentTime);
  XFlush(display_);
}

}  // namespace velmira::qt
