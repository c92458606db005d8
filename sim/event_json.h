// The machine-readable forms of the simulator's findings: one JSON object
// per received byte for the event log, and the closing summary.
//
//   {"t_ms":12.345,"byte":"a","pos":1,"event":"step+"}
//   {"t_ms":1013.2,"byte":"s","pos":1,"event":"shutter_close","hold_ms":1000.4}
//   {"t_ms":3.1,"byte":"p","pos":0,"event":"lost","reset":true}
//   {"t_ms":2.9,"pos":0,"event":"port_open","reset":true}
//
// The host's opening and closing of the port are lines without a byte; a
// "reset" port_open is one on which the board restarts.
// A byte is written as a one-character JSON string; a byte that is not
// printable ASCII is written as \u00XX with its value.
#pragma once

#include <optional>
#include <string>

#include "sim/avr_board.h"
#include "sim/decoder.h"

namespace velmira::sim {

struct Summary {
  Tally tally;
  int opens = 0;        // times the host opened the port
  int resets = 0;       // times the board restarted on an open
  int maxQueue = 0;     // most bytes seen waiting to be received at once
  bool vanished = false;
  bool hostOpen = false;  // the host has the port open now
};

std::string toJsonLine(const Event& e);
// Reads a line written by toJsonLine; nothing when it is not one.
std::optional<Event> parseJsonLine(const std::string& line);

// With the firmware in the AVR simulator (--avr), every change of an output
// pin, at `timeUs` since the rail started:
//   {"t_us":1043.750,"pin":"D2","high":true}
using PinChange = firmware::PinChange;
// "D2", "D13", "A0": the Arduino's name of a pin.
std::string arduinoPinName(char port, int bit);
std::string pinChangeJson(const PinChange& change);
std::optional<PinChange> parsePinChangeJson(const std::string& line);

std::string summaryJson(const Summary& s);
// The summary for people, in Spanish, several lines.
std::string summaryText(const Summary& s);

}  // namespace velmira::sim
