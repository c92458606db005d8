// The machine's serial ports as Qt SerialPort lists them (udev on Linux),
// for the port enumeration of the window.
#pragma once

#include <vector>

#include "platform/port_registry.h"

namespace velmira::qt {

std::vector<platform::DeviceInfo> systemSerialPorts();

}  // namespace velmira::qt
