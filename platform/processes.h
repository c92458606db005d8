// Other programs run by Velmira (the fusing tools): started at the lowest
// processor and disk priority, their output read line by line, stopped at
// once on request.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmira::platform {

struct ProcessRequest {
  std::string program;  // a full path, as found()
  std::vector<std::string> args;
  std::string directory;  // where it runs; empty: here
};

struct ProcessResult {
  bool started = false;
  bool cancelled = false;  // stopped on request
  int exitCode = -1;       // when it exited
  int signal = 0;          // when a signal ended it
  std::string error;       // why it could not start (when !started)
  long peakKb = 0;         // its largest resident memory
  bool succeeded() const { return started && !cancelled && signal == 0 && exitCode == 0; }
};

class Processes {
 public:
  virtual ~Processes() = default;
  // The program's full path when it is on PATH and executable.
  virtual std::optional<std::string> find(const std::string& program) = 0;
  // Runs the program to its end.  Every line it writes (standard output and
  // error together) goes to `onLine` as it comes.  Once `cancel` is true the
  // program and everything it started are killed at once.
  virtual ProcessResult run(const ProcessRequest& request, const std::function<void(const std::string&)>& onLine,
                            const std::atomic<bool>& cancel) = 0;
  // Stops the running program and everything it started (`held`) or lets
  // them go on; a program started while held starts stopped.  Callable
  // from any thread.
  virtual void hold(bool held) = 0;
};

}  // namespace velmira::platform
