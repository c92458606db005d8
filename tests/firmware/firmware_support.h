// The two firmware images, their pins, and what the tests read off the
// recorded pin changes.
#pragma once

#include <string>
#include <vector>

#include "sim/avr_board.h"

namespace velmira::firmware::test {

inline const std::string kFourWireElf = VELMIRA_FIRMWARE_4WIRE_ELF;
inline const std::string kStepDirElf = VELMIRA_FIRMWARE_STEPDIR_ELF;

struct Pin {
  char port;
  int bit;
};
constexpr Pin kShutter{'B', 5};  // Arduino pin 13
constexpr Pin kTx{'D', 1};
constexpr Pin kStep{'D', 2};
constexpr Pin kDir{'D', 3};
constexpr Pin kEnable{'D', 4};
constexpr char kCoilPort = 'B';  // coils A, B, A', B' on PB0..PB3
constexpr int kFirstCoil = 0;

inline bool level(const AvrBoard& b, Pin p) { return b.pin(p.port, p.bit); }
inline unsigned coils(const AvrBoard& b) { return b.nibble(kCoilPort, kFirstCoil); }
inline std::vector<PinChange> changesOf(const AvrBoard& b, Pin p) {
  return b.changesOf(p.port, p.bit);
}

// One STEP pulse as the driver sees it.
struct Pulse {
  double riseUs;
  double widthUs;
  bool dirHigh;          // DIR at the rising edge
  double dirSetupUs;     // time since DIR last changed (or since reset)
  bool enabled;          // ENABLE low at the rising edge
};

// The STEP pulses among the recorded changes.
std::vector<Pulse> stepPulses(const AvrBoard& b);

// Sends every byte on its own, `gapMs` after the start of the previous one,
// the way the host paces its steps.
void sendPaced(AvrBoard& b, const std::string& bytes, double gapMs);

}  // namespace velmira::firmware::test
