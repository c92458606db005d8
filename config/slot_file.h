// The configuration slot file: seven lines, each ended by CR LF, in
// Windows-1252, so that files written by the program on its original
// platform load unchanged and files written here load there.
//
//   1 millimetres per step (Text6)     text, unchanged
//   2 pause after each photo (Text5)   text, unchanged
//   3 pause before each photo (Text10) text, unchanged
//   4 motor speed (hscVelocidad)       integer, 1 to 1000
//   5 shutter key (Combo1 index)       integer, -1 to 6
//   6 shutter mode (Disparo index)     integer, -1 to 2 (2: USB camera)
//   7 mirror delay (temEsp)            text, unchanged
//
// An integer is written as a space (the place of the sign) or a minus, its
// digits and a space: " 250 ", "-1 ".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmira::config {

// One slot, texts in UTF-8 as the fields hold them.
struct SlotValues {
  std::string milimetros;  // Text6
  std::string tpf;         // Text5
  std::string taf;         // Text10
  int16_t velocidad = 1;   // hscVelocidad
  int16_t tecla = -1;      // Combo1
  int16_t modo = -1;       // Disparo
  std::string espejo;      // temEsp
  bool operator==(const SlotValues&) const = default;
};

// " 250 " / "-1 ".
std::string slotInteger(int value);

// The bytes of the file.
std::string writeSlot(const SlotValues& values);

// The values of the last group of seven lines.  Lines end with CR LF or with
// LF alone; a last line without an end counts as a line.  Nothing when the
// file is empty, its number of lines is no multiple of seven, or a line 4 to
// 6 of the last group is no whole number within its control's range (blanks
// around it and a decimal comma are allowed; halves go to the even one).
std::optional<SlotValues> readSlot(std::string_view bytes);

}  // namespace velmira::config
