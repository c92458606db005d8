#include "sim/avr_controller.h"

#include <algorithm>
#include <stdexcept>

namespace velmira::sim {
namespace {

using firmware::AvrBoard;

constexpr char kDriverPort = 'D';
constexpr int kStep = 2, kDir = 3, kEnable = 4;
constexpr char kCoilPort = 'B';  // coils A, B, A', B' on D8..D11
constexpr char kShutterPort = 'B';
constexpr int kShutter = 5;      // D13
// The longest the firmware may take over a byte once its stop bit is in: it
// wakes and, for a step, sets DIR and gives the STEP pulse (~12 us).
constexpr double kHandleUs = 200.0;
constexpr double kByteMs = AvrBoard::kByteUs / 1000.0;

// The full-step patterns of the coils (bit 0 = D8), phase a first.
std::optional<char> phaseOfCoils(unsigned coils) {
  switch (coils) {
    case 0b0011: return 'a';
    case 0b0110: return 'b';
    case 0b1100: return 'c';
    case 0b1001: return 'd';
    default: return std::nullopt;
  }
}

}  // namespace

const char* backendName(Backend backend) {
  return backend == Backend::StepDir ? "STEP/DIR (D2-D4)" : "4 hilos (D8-D11)";
}

AvrController::AvrController(const std::string& imagePath)
    : board_(std::make_unique<AvrBoard>(imagePath)) {
  auto outputs = [&](char port, std::initializer_list<int> bits) {
    return std::all_of(bits.begin(), bits.end(), [&](int bit) { return board_->isOutput(port, bit); });
  };
  if (outputs(kDriverPort, {kStep, kDir, kEnable}))
    backend_ = Backend::StepDir;
  else if (outputs(kCoilPort, {0, 1, 2, 3}))
    backend_ = Backend::FourWire;
  else
    throw std::runtime_error("El firmware " + imagePath +
                             " no maneja ni un driver STEP/DIR (D2-D4) ni cuatro bobinas (D8-D11)");
  // The board was switched on with the rail: rail time 0 is now.
  offsetUs_ = -board_->nowUs();
  dirHigh_ = board_->pin(kDriverPort, kDir);
  coils_ = board_->nibble(kCoilPort, 0);
  board_->clearChanges();
}

AvrController::~AvrController() = default;

void AvrController::runTo(double tMs) {
  const double chipUs = tMs * 1000.0 - offsetUs_;
  if (chipUs > board_->nowUs()) board_->runUs(chipUs - board_->nowUs());
}

Event AvrController::feed(unsigned char byte, double tMs) {
  ++tally_.bytes;
  const bool wasEnergised = tally_.energised;
  // The byte's frame started one byte time before its stop bit arrived.
  runTo(tMs - kByteMs);
  readPins();  // whatever happened before the byte is not its doing
  const char c = static_cast<char>(byte);
  board_->send(std::string_view(&c, 1));
  // The receive interrupt wakes the chip within a microsecond of the stop
  // bit; the byte is done with when it sleeps again.  Running no further
  // keeps the chip from passing the start of a byte that follows at once.
  board_->runUntilSent(1.0);
  board_->runUntilAsleep(kHandleUs);
  const Effects fx = readPins();

  Event e;
  e.tMs = tMs;
  e.byte = byte;
  auto error = [&] {
    ++tally_.errors;
    return Kind::Error;
  };
  switch (byte) {
    case 'a': case 'b': case 'c': case 'd':
      if (backend_ == Backend::StepDir) tally_.phase = c;  // the firmware's reference
      if (fx.motor) {
        e.kind = *fx.motor;
      } else if (!wasEnergised && tally_.energised) {
        e.kind = Kind::Energise;
      } else {
        // The motor was on and the letter moved nothing.
        ++tally_.lost;
        e.kind = Kind::Lost;
      }
      break;
    case 'p':
      e.kind = tally_.energised ? error() : Kind::Off;
      break;
    case 'r':
      e.kind = fx.shutterOpened ? Kind::ShutterOpen : error();
      break;
    case 's':
      e.kind = fx.holdMs ? Kind::ShutterClose : error();
      e.holdMs = fx.holdMs.value_or(0);
      break;
    default:
      // The firmware ignores it; for the host it is a protocol error.
      e.kind = error();
  }
  e.pos = tally_.position;
  return e;
}

void AvrController::boardReset(double tMs) {
  runTo(tMs);
  readPins();
  // An actuation cut short by the reset is no completed hold.
  tally_.shutterOpen = false;
  board_->reset();
  readPins();
}

bool AvrController::advanceTo(double tMs) {
  // A byte that the rail reads at tMs started on the line one byte time
  // earlier; the chip stays that far behind so it can still receive it.
  runTo(tMs - kByteMs);
  const bool changed = !board_->changes().empty();
  readPins();
  return changed;
}

AvrController::Effects AvrController::readPins() {
  Effects out;
  // A step outweighs whatever else the motor pins did at the same byte.
  auto motor = [&out](Kind k) {
    const bool step = k == Kind::StepForward || k == Kind::StepBackward;
    if (!out.motor || (step && *out.motor != Kind::StepForward && *out.motor != Kind::StepBackward)) out.motor = k;
  };
  const std::vector<PinChange>& changes = board_->changes();
  for (size_t i = 0; i < changes.size(); ++i) {
    PinChange c = changes[i];
    c.timeUs += offsetUs_;
    taken_.push_back(c);
    const double tMs = c.timeUs / 1000.0;
    if (c.port == kShutterPort && c.bit == kShutter) {
      if (c.high && !tally_.shutterOpen) {
        tally_.shutterOpen = true;
        ++tally_.shots;
        openedAtMs_ = tMs;
        out.shutterOpened = true;
      } else if (!c.high && tally_.shutterOpen) {
        tally_.shutterOpen = false;
        out.holdMs = tMs - openedAtMs_;
        tally_.holds.push_back(*out.holdMs);
      }
      continue;
    }
    if (backend_ == Backend::FourWire) {
      // One port write changes several coils at the same instant; the
      // pattern counts once they all have.
      const bool coil = c.port == kCoilPort && c.bit < 4;
      if (coil) coils_ = c.high ? (coils_ | 1u << c.bit) : (coils_ & ~(1u << c.bit));
      const bool lastAtThisTime = i + 1 == changes.size() || changes[i + 1].timeUs != changes[i].timeUs ||
                                  changes[i + 1].port != kCoilPort || changes[i + 1].bit >= 4;
      if (coil && lastAtThisTime)
        if (std::optional<Kind> k = coilsChanged()) motor(*k);
      continue;
    }
    if (c.port != kDriverPort) continue;
    if (c.bit == kDir) {
      dirHigh_ = c.high;
    } else if (c.bit == kEnable) {
      tally_.energised = !c.high;
    } else if (c.bit == kStep && c.high) {
      if (tally_.energised) {
        motor(countStep(tally_, dirHigh_));
      } else {
        // A disabled driver does not step.
        ++tally_.lost;
        motor(Kind::Lost);
      }
    }
  }
  board_->clearChanges();
  return out;
}

std::optional<Kind> AvrController::coilsChanged() {
  if (coils_ == 0) {
    tally_.energised = false;
    return std::nullopt;
  }
  if (std::optional<char> phase = phaseOfCoils(coils_)) return energisePhase(tally_, *phase);
  // No full-step pattern: the rotor's place is unknown.
  ++tally_.errors;
  tally_.energised = true;
  tally_.phase.reset();
  return Kind::Error;
}

std::vector<PinChange> AvrController::takePinChanges() {
  std::vector<PinChange> out;
  out.swap(taken_);
  return out;
}

}  // namespace velmira::sim
