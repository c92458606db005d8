// The serial port on Linux, written straight to the device's descriptor:
// every byte of a write is in the kernel when write() returns (a blocking
// wait that follows a phase letter then really follows it on the line), and
// close() waits, at most one second, until the output has drained, so the
// final "p" of a disconnect or an exit reaches the controller.  What is
// still queued then is discarded and the close does not wait for it: a
// stalled adapter cannot hang the exit.  A write that found no room for a
// second marks the line stalled: the next write discards the queue, every
// later one tries once without waiting, and the close does not drain.
//
// Bytes are handed over no faster than the line carries them (9600 baud,
// ten bits a byte: 1.04 ms each): a byte is written once the one before has
// left, so nothing piles up in the adapter and a stop goes out at once,
// even when the steps are asked faster than the line can take them.
//
// The port is opened write-only (nothing is ever read).  HUPCL is cleared on
// the open port and the old settings are not restored on close, so opening
// the same board again does not pulse DTR and reset it once more.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/port_registry.h"
#include "platform/platform.h"

namespace velmira::platform {

// The Spanish detail (cause and fix) for an errno of open or write.
std::string failureDetail(int err);

class PosixSerialPort : public SerialPort {
 public:
  // Finds the device of a port number.
  using Resolver = std::function<std::optional<std::string>(int16_t)>;
  explicit PosixSerialPort(Resolver resolver) : resolver_(std::move(resolver)) {}
  explicit PosixSerialPort(PortRegistry& registry);
  ~PosixSerialPort() override;

  void setPortNumber(int16_t number) override;
  int16_t portNumber() const override { return number_; }
  void open() override;
  bool isOpen() const override { return fd_ >= 0; }
  void setSettings(const std::string& settings) override;
  void write(const std::string& data) override;
  void close() override;

  // Bytes handed to the kernel and not yet sent (TIOCOUTQ), -1 if unknown.
  int pendingOutput() const;

 private:
  [[noreturn]] void fail(int err, const std::string& what);
  // Waits until the line has sent the byte before.
  void waitForLine();
  Resolver resolver_;
  int16_t number_ = 1;
  int fd_ = -1;
  int64_t lineFreeAtNs_ = 0;  // monotonic time the last byte has left the line
  bool stalled_ = false;        // a write found no room for its whole timeout
  bool discardQueued_ = false;  // what was queued then is still to be discarded
};

}  // namespace velmira::platform
