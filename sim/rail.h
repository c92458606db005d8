// The simulated rail: a motion controller on the far end of a real
// pseudo-terminal.  A reader thread receives every byte the host writes,
// stamps it with the monotonic clock and decodes it (sim/decoder.h).  All
// members may be called from any thread.
//
// How the rail notices that the host opens and closes the port: while no
// process has the slave open, the master reports a hang-up (POLLHUP); the
// hang-up goes away the moment the host opens the slave.  The rail watches
// the slave with inotify for opens and looks at the master's hang-up state
// when one happens (without inotify, every millisecond).  The close shows
// as the hang-up coming back, after the last bytes have been read.
//
// The board's reset (--reset-ms): opening a port raises DTR, which restarts
// an Arduino-class board, and for the first N ms its boot loader, not the
// firmware, owns the line.  The rail restarts on the first open, and on a
// later open only if the host left HUPCL set when it closed the port (DTR
// then dropped at the close and rises again at the open), as a real board
// behaves.  The terminal starts with HUPCL set, like a real serial device.
//
// With --avr the far end is the real firmware in the AVR simulator
// (sim/avr_controller.h) instead of the letter model; everything else is
// the same, and the chip's time follows the rail's clock also while no byte
// arrives, so the firmware's own switch-off after 10 s quiet happens.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/avr_controller.h"
#include "sim/decoder.h"
#include "sim/event_json.h"

namespace velmira::sim {

struct Options {
  std::string portsDir;            // empty: the discovery's per-user directory
  std::string name;                // empty: velmira-sim-<pid>-<n>
  std::optional<char> restPhase;   // the rotor's detent at power-up, if known
  int64_t vanishAfterBytes = -1;   // unplugged after this many bytes
  int64_t vanishAfterMs = -1;      // unplugged this long after the start
  int baud = 0;                    // receive at this line rate (0: at once)
  int64_t resetMs = 0;             // the board's restart on an open
  std::string logPath;             // JSON lines, one per byte
  std::string avrImage;            // the firmware in the AVR simulator (ELF or HEX)
  std::string pinLogPath;          // with avrImage: JSON lines, one per pin change
};

class VirtualPort;

class Rail {
 public:
  Rail();
  ~Rail();
  Rail(const Rail&) = delete;
  Rail& operator=(const Rail&) = delete;

  // Publishes the port and starts receiving; throws std::runtime_error.
  void start(const Options& options);
  // Stops receiving and removes the port.  Safe to call twice.
  void stop();

  std::string slavePath() const;
  std::string linkPath() const;
  // CLOCK_MONOTONIC in ms at the start: an event happened at startMs() + tMs.
  double startMs() const { return startMs_; }

  // The decoded bytes, in order.
  std::vector<Event> events() const;
  // The host's opens and closes of the port, in order.
  std::vector<Event> portEvents() const;
  // Both, in order.
  std::vector<Event> allEvents() const;
  std::string bytes() const;  // every byte received, in order
  Summary summary() const;
  int64_t position() const;
  int64_t lost() const;
  int64_t shots() const;
  int64_t errors() const;
  std::vector<double> holds() const;
  bool energised() const;
  bool hostOpen() const;
  bool vanished() const;
  // With the firmware in the AVR simulator: its motor driver, and every
  // change of its output pins so far, in order.
  std::optional<Backend> backend() const;
  std::vector<PinChange> pinChanges() const;
  // The host's line settings on the terminal, as "9600,N,8,1".
  std::string lineSettings() const;

  // Waits until `n` bytes were received (or the rail vanished); false on
  // timeout.
  bool waitForBytes(size_t n, int timeoutMs);
  // Waits until `condition` holds for the summary; false on timeout.
  bool waitFor(const std::function<bool(const Summary&)>& condition, int timeoutMs);

 private:
  void resetState(const Options& options);
  void run();
  bool receive();
  void handle(unsigned char byte, double t);
  void hostOpened(double t);
  void hostClosed();
  void vanish();
  void publish(Event e);
  void advance(double t);
  void publishPins();

  Options options_;
  double startMs_ = 0;
  std::unique_ptr<VirtualPort> port_;
  std::thread reader_;
  int wake_[2] = {-1, -1};
  int inotify_ = -1;

  // Reader thread only (start() and stop() excepted).
  std::unique_ptr<Controller> controller_;
  AvrController* avr_ = nullptr;  // the controller, when it is the firmware
  double resetUntil_ = -1;
  double lineFreeAt_ = 0;
  bool hupclAtClose_ = true;
  bool everOpened_ = false;
  std::FILE* log_ = nullptr;
  std::FILE* pinLog_ = nullptr;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
  std::string bytes_;
  std::vector<PinChange> pins_;
  Summary summary_;
  bool stopping_ = false;
  std::string slavePath_, linkPath_;
};

}  // namespace velmira::sim
