// The simulated rail for the end-to-end tests: started in this process
// (sim::Rail) or as the velmira-sim program in a child process, and in
// both cases the decoded events for the test.  Every rail of a test lives
// in the test's own ports directory, so tests running in parallel never
// see each other's ports.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/rail.h"
#include "tests/support/fake_platform.h"  // the rig the tests connect to the rail
#include "tests/support/poll.h"

namespace velmira::test {

// A private ports directory ("<tmp>/velmira-e2e-XXXXXX/ports"), removed
// with everything in it at the end.
class PortsDir {
 public:
  PortsDir();
  ~PortsDir();
  const std::string& path() const { return path_; }

 private:
  std::string root_, path_;
};

enum class SimMode { InProcess, ChildProcess };
const char* simModeName(SimMode mode);

class SimulatedRail {
 public:
  virtual ~SimulatedRail() = default;
  virtual std::string linkPath() const = 0;
  // The decoded bytes so far, in order (a child's are read from its log).
  std::vector<sim::Event> events();
  // The host's opens and closes of the port so far.
  std::vector<sim::Event> portEvents();
  // Both, in order.
  virtual std::vector<sim::Event> allEvents() = 0;
  // With the firmware in the AVR simulator: its pin changes so far.
  virtual std::vector<sim::PinChange> pinChanges() = 0;
  std::string bytes();
  // Waits until `n` bytes have been decoded; false on timeout.
  bool waitForBytes(size_t n, int timeoutMs);
  // Waits until the host has opened and closed the port `n` times together.
  bool waitForPortEvents(size_t n, int timeoutMs);
  // Waits until the rail has unplugged itself; false on timeout.
  virtual bool waitForVanish(int timeoutMs) = 0;
  // Ends the rail (a child by SIGTERM) and returns its summary.
  virtual sim::Summary stop() = 0;
};

// Starts a rail in `dir`.  A child runs `exe` with the command line that
// the options give, and is waited for until its port is published.
std::unique_ptr<SimulatedRail> startRail(SimMode mode, sim::Options options, const std::string& dir,
                                         const std::string& exe);

// A child process running a program; its stdout and stderr go to files.
class ChildProcess {
 public:
  ChildProcess(const std::string& exe, const std::vector<std::string>& args);
  ~ChildProcess();
  // The exit status once it ended (-1 before); a signal gives 128 + signal.
  std::optional<int> poll();
  // Waits at most `timeoutMs` for the end; kills it after that.
  int wait(int timeoutMs);
  void signal(int sig);
  std::string output() const;
  std::string errorOutput() const;
  pid_t pid() const { return pid_; }

 private:
  std::string dir_;  // holding its stdout and stderr
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The velmira-sim program in a child process, with its log and its summary.
class ChildRail : public SimulatedRail {
 public:
  ChildRail(sim::Options options, const std::string& dir, const std::string& exe);
  std::string linkPath() const override { return link_; }
  std::vector<sim::Event> allEvents() override;
  std::vector<sim::PinChange> pinChanges() override;
  bool waitForVanish(int timeoutMs) override;
  sim::Summary stop() override;
  // Ends it with `signal`; the summary is read from what it printed.
  sim::Summary stop(int signal);
  int exitCode() const { return exitCode_; }  // once stopped
  std::string output() const;                 // everything it printed

 private:
  std::unique_ptr<ChildProcess> child_;
  std::string link_, log_, pinLog_;
  int exitCode_ = -1;
};

}  // namespace velmira::test
