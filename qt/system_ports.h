// The machine's serial ports as Qt SerialPort lists them (udev on Linux),
// for the port enumeration of the window.
#pragma once

#include <vector>

#include "link/port_registry.h"

namespace velmira::qt {

std::vector<link::DeviceInfo> systemSerialPorts();

}  // namespace velmira::qt
