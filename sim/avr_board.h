// An ATmega328P at 16 MHz in the AVR simulator, running a firmware image (an
// ELF file or the Intel HEX file that is flashed): bytes go into its serial
// receiver at 9600 baud, time advances only when the board is run, and every
// change of an output pin is recorded with its simulated time.  The firmware
// tests use it directly; velmira-sim --avr puts it behind the pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct avr_t;
struct avr_irq_t;

namespace velmira::firmware {

struct PinChange {
  double timeUs;  // simulated time since reset
  char port;      // 'B', 'C' or 'D'
  int bit;        // 0..7 (PB5 is Arduino pin 13, PD2 pin 2, ...)
  bool high;
};

class AvrBoard {
 public:
  static constexpr uint32_t kFrequency = 16'000'000;
  // One byte at 9600,N,8,1: start bit, 8 data bits, stop bit.
  static constexpr double kByteUs = 10.0 * 1'000'000.0 / 9600.0;

  // Loads the image (ELF, or Intel HEX for anything else) and runs the
  // board through its start-up (1 ms).  Throws std::runtime_error, with the
  // reason in Spanish, if the file cannot be loaded.
  explicit AvrBoard(const std::string& imagePath);
  ~AvrBoard();
  AvrBoard(const AvrBoard&) = delete;
  AvrBoard& operator=(const AvrBoard&) = delete;

  // Queues bytes on the line.  They are sent back to back: each byte is
  // complete in the receiver one byte time after the previous one, or one
  // byte time after now when the line is idle.
  void send(std::string_view bytes);
  // Runs the board for this much simulated time.
  void runMs(double ms);
  void runUs(double us);
  // Runs until every queued byte has been received, then `afterUs` more.
  void runUntilSent(double afterUs = 200.0);
  // Runs until the firmware has gone back to sleep (it has done with what
  // woke it), but at most `maxUs`.
  void runUntilAsleep(double maxUs);
  // Queues the bytes and runs until they have been received and handled.
  void sendAndRun(std::string_view bytes) { send(bytes); runUntilSent(); }

  // The chip restarts (as when DTR pulses its reset line): registers and
  // pins as at power-up, bytes still queued are lost, and the firmware runs
  // through its start-up again (1 ms).  Simulated time goes on.
  void reset();

  double nowUs() const;
  double nowMs() const { return nowUs() / 1000.0; }
  bool pendingBytes() const { return !queue_.empty(); }

  // The level the chip drives on a pin (or its pull-up), as last reported.
  bool pin(char port, int bit) const;
  // Whether the firmware made the pin an output (its DDR bit).
  bool isOutput(char port, int bit) const;
  // The four bits of a port starting at `firstBit`, bit 0 first (e.g. the
  // coils on PB0..PB3 give 0b0011 for PB0 and PB1 high).
  unsigned nibble(char port, int firstBit) const;

  // Every pin change since reset or the last clearChanges(), in order.
  const std::vector<PinChange>& changes() const { return changes_; }
  std::vector<PinChange> changesOf(char port, int bit) const;
  void clearChanges() { changes_.clear(); }
  // Called at every pin change, as it happens in simulated time.
  std::function<void(const PinChange&)> onPinChange;

  // Bytes the firmware wrote to its serial transmitter.
  std::size_t bytesTransmitted() const { return transmitted_; }

 private:
  struct PinHook {
    AvrBoard* board;
    char port;
    int bit;
  };
  static uint64_t feedNext(avr_t*, uint64_t, void* param);
  static uint64_t stopHere(avr_t*, uint64_t, void* param);
  static void pinChanged(avr_irq_t*, uint32_t value, void* param);
  static void byteOut(avr_irq_t*, uint32_t value, void* param);
  void runCycles(uint64_t cycles);
  void boot();
  void matchReceiverToTheLine();
  void hookPins(char port);
  static int portIndex(char port);

  avr_t* avr_ = nullptr;
  avr_irq_t* uartIn_ = nullptr;
  std::deque<uint8_t> queue_;
  bool feeding_ = false;
  double lineFreeAt_ = 0;  // cycle at which the byte on the line is complete
  std::vector<PinHook> hooks_;
  uint8_t levels_[3] = {0, 0, 0};
  std::vector<PinChange> changes_;
  std::size_t transmitted_ = 0;
};

}  // namespace velmira::firmware
