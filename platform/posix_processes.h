// Processes on Linux: each in its own process group, in the idle scheduling
// class at nice 19 and the idle I/O class, so that a fusion never takes
// time from the rail's steps.
#pragma once

#include <sys/types.h>

#include <atomic>

#include "platform/processes.h"

namespace velmira::platform {

class PosixProcesses : public Processes {
 public:
  std::optional<std::string> find(const std::string& program) override;
  ProcessResult run(const ProcessRequest& request, const std::function<void(const std::string&)>& onLine,
                    const std::atomic<bool>& cancel) override;
  void hold(bool held) override;

 private:
  std::atomic<bool> held_{false};
  std::atomic<pid_t> group_{0};  // the running program's process group
};

// SIGINT, SIGTERM and SIGHUP set `flag` instead of ending the program (for
// the command line, whose run then stops its tools and cleans up).  Returns
// the signal that came last, 0 for none, through `lastSignal()`.
void cancelOnSignals(std::atomic<bool>* flag);
int lastSignal();

}  // namespace velmira::platform
