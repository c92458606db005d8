#include "sim/decoder.h"

#include <array>

namespace velmira::sim {
namespace {

constexpr std::array<const char*, 10> kNames = {"step+", "step-",        "lost",  "energise",  "off",
                                                "shutter_open", "shutter_close", "error", "port_open", "port_close"};

// Index of a phase letter in the forward order.
int phaseIndex(unsigned char letter) { return letter - 'a'; }

}  // namespace

const char* kindName(Kind kind) { return kNames[static_cast<size_t>(kind)]; }

std::optional<Kind> kindFromName(const std::string& name) {
  for (size_t i = 0; i < kNames.size(); ++i)
    if (name == kNames[i]) return static_cast<Kind>(i);
  return std::nullopt;
}

Decoder::Decoder(std::optional<char> restPhase) { tally_.phase = restPhase; }

Event Decoder::phaseLetter(unsigned char letter, Event e) {
  const bool wasEnergised = tally_.energised;
  tally_.energised = true;
  const std::optional<char> last = tally_.phase;
  tally_.phase = static_cast<char>(letter);
  if (!last || (*last == static_cast<char>(letter) && !wasEnergised)) {
    e.kind = Kind::Energise;
    return e;
  }
  const int diff = (phaseIndex(letter) - phaseIndex(static_cast<unsigned char>(*last)) + 4) % 4;
  if (diff == 1) {
    e.kind = Kind::StepForward;
    ++tally_.stepsForward;
    ++tally_.position;
  } else if (diff == 3) {
    e.kind = Kind::StepBackward;
    ++tally_.stepsBackward;
    --tally_.position;
  } else {
    e.kind = Kind::Lost;
    ++tally_.lost;
  }
  return e;
}

Event Decoder::feed(unsigned char byte, double tMs) {
  ++tally_.bytes;
  Event e;
  e.tMs = tMs;
  e.byte = byte;
  switch (byte) {
    case 'a': case 'b': case 'c': case 'd':
      e = phaseLetter(byte, e);
      break;
    case 'p':
      tally_.energised = false;
      e.kind = Kind::Off;
      break;
    case 'r':
      if (tally_.shutterOpen) {
        ++tally_.errors;
        e.kind = Kind::Error;
        break;
      }
      tally_.shutterOpen = true;
      openedAtMs_ = tMs;
      ++tally_.shots;
      e.kind = Kind::ShutterOpen;
      break;
    case 's':
      if (!tally_.shutterOpen) {
        ++tally_.errors;
        e.kind = Kind::Error;
        break;
      }
      tally_.shutterOpen = false;
      e.holdMs = tMs - openedAtMs_;
      tally_.holds.push_back(e.holdMs);
      e.kind = Kind::ShutterClose;
      break;
    default:
      ++tally_.errors;
      e.kind = Kind::Error;
  }
  e.pos = tally_.position;
  return e;
}

Event Decoder::ignore(unsigned char byte, double tMs) {
  ++tally_.bytes;
  ++tally_.lost;
  ++tally_.lostDuringReset;
  Event e;
  e.tMs = tMs;
  e.byte = byte;
  e.pos = tally_.position;
  e.kind = Kind::Lost;
  e.ignored = true;
  return e;
}

void Decoder::boardReset() {
  // The pins of a restarting board float: windings and shutter output off.
  // An actuation cut short by the reset is not a completed hold.
  tally_.energised = false;
  tally_.shutterOpen = false;
}

}  // namespace velmira::sim
