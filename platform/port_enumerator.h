// The device enumeration of the window: the system's serial ports (from a
// source the front end provides) and the virtual ports published by the
// simulator in the per-user ports directory, each named with its number.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/port_registry.h"
#include "platform/platform.h"

namespace velmira::platform {

// $XDG_RUNTIME_DIR/velmira/ports, or /tmp/velmira-<uid>/ports.
std::string virtualPortsDir();

// The virtual ports of `dir`: symbolic links that resolve to a terminal
// device of this user.  Nothing is listed when the directory is not this
// user's own, so no link can make the program open a disk or another
// user's file.
std::vector<DeviceInfo> scanVirtualPorts(const std::string& dir);

// Where `path` leads (links followed) when that is a character device that
// is a terminal owned by this user or a system serial device; nothing
// otherwise.
std::optional<std::string> safeVirtualTarget(const std::string& path);

class PortEnumerator : public DeviceEnumerator {
 public:
  using Source = std::function<std::vector<DeviceInfo>()>;
  PortEnumerator(PortRegistry& registry, Source systemPorts, std::string virtualDir = virtualPortsDir())
      : registry_(registry), systemPorts_(std::move(systemPorts)), virtualDir_(std::move(virtualDir)) {}
  std::vector<std::string> displayNames() override;

 private:
  PortRegistry& registry_;
  Source systemPorts_;
  std::string virtualDir_;
};

}  // namespace velmira::platform
