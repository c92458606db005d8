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

Kind countStep(Tally& tally, bool forwards) {
  ++(forwards ? tally.stepsForward : tally.stepsBackward);
  tally.position += forwards ? 1 : -1;
  return forwards ? Kind::StepForward : Kind::StepBackward;
}

Kind energisePhase(Tally& tally, char phase) {
  const bool wasEnergised = tally.energised;
  tally.energised = true;
  const std::optional<char> last = tally.phase;
  tally.phase = phase;
  if (!last || (*last == phase && !wasEnergised)) return Kind::Energise;
  const int diff = (phaseIndex(static_cast<unsigned char>(phase)) - phaseIndex(static_cast<unsigned char>(*last)) + 4) % 4;
  if (diff == 1 || diff == 3) return countStep(tally, diff == 1);
  ++tally.lost;
  return Kind::Lost;
}

Event Decoder::feed(unsigned char byte, double tMs) {
  ++tally_.bytes;
  Event e;
  e.tMs = tMs;
  e.byte = byte;
  switch (byte) {
    case 'a': case 'b': case 'c': case 'd':
      e.kind = energisePhase(tally_, static_cast<char>(byte));
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

Event Controller::ignore(unsigned char byte, double tMs) {
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

void Decoder::boardReset(double) {
  // The pins of a restarting board float: windings and shutter output off.
  // An actuation cut short by the reset is not a completed hold.
  tally_.energised = false;
  tally_.shutterOpen = false;
}

}  // namespace velmira::sim
