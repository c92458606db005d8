// The simulator's end of the serial line: a pseudo-terminal whose slave the
// host opens as its serial port, published under a name in the per-user
// ports directory that the port discovery lists.
#pragma once

#include <string>

namespace velmira::sim {

// Creates `dir` (and its missing parents) with mode 0700.  Throws
// std::runtime_error (in Spanish) when it cannot, or when the directory
// is not this user's own: the port discovery would not list it.
void ensurePortsDir(const std::string& dir);

// Removes the links "velmira-sim-<pid>-<n>" of `dir` whose simulator is
// no longer running (one that was killed could not remove its own).
void removeStaleLinks(const std::string& dir);

// The default link name of the n-th rail of this process.
std::string defaultLinkName(int n);

class VirtualPort {
 public:
  // Opens the pseudo-terminal in raw mode with HUPCL set (as the driver of
  // a real serial device has it), to be published as `dir`/`name`.  Throws
  // std::runtime_error (in Spanish).
  VirtualPort(const std::string& dir, const std::string& name);
  ~VirtualPort();
  VirtualPort(const VirtualPort&) = delete;
  VirtualPort& operator=(const VirtualPort&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  const std::string& linkPath() const { return linkPath_; }
  // Removes the link, if it still names this terminal (a later simulator
  // may have taken the name), and closes the master: the slave is gone,
  // and the host's next write to it fails.
  void unplug();
  // Makes the port visible to the discovery; throws std::runtime_error.
  void publish();

 private:
  int master_ = -1;
  std::string slavePath_;
  std::string linkPath_;
  bool published_ = false;
};

}  // namespace velmira::sim
