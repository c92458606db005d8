// What the simulated controller makes of every byte it receives.
//
// The carriage is driven by a four-phase stepper: a phase letter energises
// the windings of that phase, and the rotor moves to the nearest detent of
// the phase.  So:
//   - the successor of the last phase (a, b, c, d, a) is one step forwards,
//     its predecessor (a, d, c, b, a) one step backwards;
//   - the same letter again while the motor is energised, or the opposite
//     phase (two apart, where the rotor may fall either way), moves nothing
//     the host can count on: a lost step;
//   - "p" switches the windings off.  The rotor stays on the detent of the
//     last phase (nothing drives a rail carriage between moves), so the next
//     letter is judged against that phase again: the host continues its
//     phase sequence across moves, and the first letter after "p" is a real
//     step.  Only the same letter again just energises the motor in place;
//   - at power-up the rotor's phase is unknown (unless given), so the very
//     first letter only energises the motor: no step, and not lost.
// "r" and "s" open and close the shutter output; one "r" is one actuation,
// and the time until its "s" is the hold.  Any other byte, or an "r" or "s"
// out of turn, is a protocol error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmira::sim {

enum class Kind {
  StepForward, StepBackward, Lost, Energise, Off, ShutterOpen, ShutterClose, Error,
  // Not bytes: the host opened (the board restarting if `ignored`) or
  // closed the port.
  PortOpen, PortClose
};

// "step+", "step-", "lost", "energise", "off", "shutter_open",
// "shutter_close", "error", "port_open", "port_close".
const char* kindName(Kind kind);
std::optional<Kind> kindFromName(const std::string& name);

struct Event {
  double tMs = 0;          // since the rail started
  unsigned char byte = 0;
  int64_t pos = 0;         // carriage position after the byte, in steps
  Kind kind = Kind::Error;
  bool ignored = false;    // arrived while the board was resetting (port_open: it restarts)
  double holdMs = 0;       // shutter_close: time since its "r"
  bool operator==(const Event&) const = default;
};

inline bool isByte(const Event& e) { return e.kind != Kind::PortOpen && e.kind != Kind::PortClose; }

struct Tally {
  int64_t bytes = 0;
  int64_t position = 0;
  bool energised = false;
  std::optional<char> phase;  // the detent the rotor sits on
  int64_t stepsForward = 0;
  int64_t stepsBackward = 0;
  int64_t lost = 0;           // all lost steps, those of a reset included
  int64_t lostDuringReset = 0;
  int64_t shots = 0;          // actuations of the shutter output
  std::vector<double> holds;  // ms, one per completed actuation
  bool shutterOpen = false;
  int64_t errors = 0;
};

// The four-phase motor's windings are energised for `phase` ('a'-'d'): the
// rotor goes to that phase's detent.  Counts the step (or the lost one) in
// `tally` and says what happened: StepForward, StepBackward, Lost or
// Energise.
Kind energisePhase(Tally& tally, char phase);
// The carriage moves one step; StepForward or StepBackward.
Kind countStep(Tally& tally, bool forwards);

// What sits at the far end of the line: this letter model, or the real
// firmware in the AVR simulator (sim/avr_controller.h).  Times are in ms
// since the rail started; a byte's time is when its stop bit arrived.
class Controller {
 public:
  virtual ~Controller() = default;
  virtual Event feed(unsigned char byte, double tMs) = 0;
  // A byte that arrives while the board restarts is not seen by the firmware.
  virtual Event ignore(unsigned char byte, double tMs);
  // The board restarts: its outputs go off, the rotor stays where it is.
  virtual void boardReset(double tMs) = 0;
  // Time passes with no byte (the firmware's own timeouts).  True when
  // something changed in the tally.
  virtual bool advanceTo(double) { return false; }
  const Tally& tally() const { return tally_; }

 protected:
  Tally tally_;
};

class Decoder : public Controller {
 public:
  explicit Decoder(std::optional<char> restPhase = std::nullopt);
  Event feed(unsigned char byte, double tMs) override;
  void boardReset(double tMs = 0) override;

 private:
  double openedAtMs_ = 0;
};

}  // namespace velmira::sim
