// The real controller firmware behind the simulated rail: an ATmega328P in
// the AVR simulator (sim/avr_board.h) runs the image that is flashed on the
// Arduino, every byte from the host goes into its serial receiver, and the
// rail is read off the pins the firmware drives, not off the letters:
//   - STEP/DIR driver (STEP D2, DIR D3, ENABLE D4 active low): a STEP pulse
//     while enabled is one step, forwards with DIR high;
//   - four coil outputs (D8-D11): each full-step pattern is a phase of the
//     motor, judged like the letter model (sim/decoder.h) judges letters;
//   - the shutter output on D13: one rising edge is one actuation, the hold
//     is the time it stays high.
// Which driver the image is for is read off the pins it makes outputs at
// start-up.  The chip runs in step with the rail's clock: a byte's stop bit
// arrives in the receiver when the rail received it (or, when the host
// writes faster than 9600 baud, back to back after the previous one, as on
// the wire), and time with no byte runs the chip on, so its own timeouts
// happen too.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/avr_board.h"
#include "sim/decoder.h"
#include "sim/event_json.h"

namespace velmira::sim {

enum class Backend { FourWire, StepDir };
// "4 hilos (D8-D11)" or "STEP/DIR (D2-D4)".
const char* backendName(Backend backend);

class AvrController : public Controller {
 public:
  // Loads the image and starts the chip; throws std::runtime_error, with
  // the reason in Spanish, for a file that cannot be loaded or drives
  // neither kind of motor output.
  explicit AvrController(const std::string& imagePath);
  ~AvrController() override;

  Backend backend() const { return backend_; }
  Event feed(unsigned char byte, double tMs) override;
  void boardReset(double tMs) override;
  bool advanceTo(double tMs) override;
  // The pin changes since the last call, in order.
  std::vector<PinChange> takePinChanges();

 private:
  // What the pins did since they were last read.
  struct Effects {
    std::optional<Kind> motor;    // a step, else Lost, Energise or Error
    bool shutterOpened = false;
    std::optional<double> holdMs;  // the shutter closed after this hold
  };
  void runTo(double tMs);
  // Reads the pin changes the chip recorded since the last time.
  Effects readPins();
  // The coils took a new pattern: what the rotor did, if anything.
  std::optional<Kind> coilsChanged();

  std::unique_ptr<firmware::AvrBoard> board_;
  Backend backend_ = Backend::StepDir;
  double offsetUs_ = 0;  // rail time = chip time + offset
  bool dirHigh_ = false;
  unsigned coils_ = 0;  // D8..D11, bit 0 first
  double openedAtMs_ = 0;
  std::vector<PinChange> taken_;
};

}  // namespace velmira::sim
