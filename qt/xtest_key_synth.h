// Synthesised function keys through the X Test extension: the key events
// enter the X server's input as if typed, so they reach the program that has
// the keyboard focus (the camera-control program).
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

struct _XDisplay;

namespace velmira::qt {

class XTestKeySynth : public platform::KeySynth {
 public:
  // `display`: the X display to use; empty means $DISPLAY.
  explicit XTestKeySynth(std::string display = {});
  ~XTestKeySynth() override;
  XTestKeySynth(const XTestKeySynth&) = delete;
  XTestKeySynth& operator=(const XTestKeySynth&) = delete;

  std::optional<std::string> unavailableReason() override;
  // Windows virtual-key codes 117 to 123 are F6 to F12; flag 2 is key up.
  // Other codes have no key here and send nothing.
  void keyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) override;

  // The X key symbol of a virtual-key code, 0 when there is none.
  static unsigned long keySymFor(uint8_t virtualKey);

 private:
  bool connect();
  std::string displayName_;
  _XDisplay* display_ = nullptr;
  std::optional<std::string> reason_;
  bool tried_ = false;
};

}  // namespace velmira::qt
