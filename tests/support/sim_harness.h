// The simulated rail for the end-to-end tests: the velmira-sim program in
// a child process, what it decoded read from its log, and its summary.
// Every rail of a test lives in the test's own ports directory, so tests
// running in parallel never see each other's ports.  (Tests that only need
// a rail behind the window start sim::Rail in their own process.)
#pragma once

#include <signal.h>
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

// The velmira-sim program `exe` publishing its port as `name` in `dir`,
// with `args` besides (its log, its JSON summary and, with --avr, its pin
// log are the harness's); waited for until the port is there.
class ChildRail {
 public:
  ChildRail(const std::string& exe, const std::string& dir, const std::string& name,
            std::vector<std::string> args = {});
  std::string linkPath() const { return link_; }
  // The decoded bytes so far, in order; the host's opens and closes.
  std::vector<sim::Event> events();
  std::vector<sim::Event> portEvents();
  std::string bytes();
  // With --avr: the firmware's pin changes so far, from its pin log.
  std::vector<sim::PinChange> pinChanges();
  // Wait until `n` bytes were decoded, until the host has opened and closed
  // the port `n` times together, until the rail unplugged itself; false on
  // timeout.
  bool waitForBytes(size_t n, int timeoutMs);
  bool waitForPortEvents(size_t n, int timeoutMs);
  bool waitForVanish(int timeoutMs);
  // Ends it with `signal` unless it ended by itself; its exit status.
  int stop(int signal = SIGTERM);
  // Once stopped: a figure of the JSON summary it printed (1 and 0 for
  // true and false, -1 when missing), and everything it printed.
  int64_t figure(const std::string& name) const;
  std::string output() const { return child_->output(); }

 private:
  std::unique_ptr<ChildProcess> child_;
  std::string link_, log_, pinLog_;
};

}  // namespace velmira::test
