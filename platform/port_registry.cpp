#include "platform/port_registry.h"

namespace velmira::platform {

std::string PortRegistry::keyOf(const DeviceInfo& d) {
  if (!d.serialNumber.empty()) return "usb:" + d.vendorId + ":" + d.productId + ":" + d.serialNumber;
  return "path:" + d.path;
}

int16_t PortRegistry::numberFor(const DeviceInfo& device) {
  const std::string key = keyOf(device);
  auto it = numbers_.find(key);
  int16_t number;
  if (it != numbers_.end()) {
    number = it->second;
  } else {
    number = next_++;
    numbers_[key] = number;
  }
  devices_[number] = device;
  return number;
}

std::optional<DeviceInfo> PortRegistry::deviceFor(int16_t number) const {
  auto it = devices_.find(number);
  if (it == devices_.end()) return std::nullopt;
  return it->second;
}

std::string PortRegistry::displayName(const DeviceInfo& d, int16_t number) {
  std::string name;
  // The manufacturer is often repeated at the start of the description.
  bool repeated = !d.manufacturer.empty() && d.description.rfind(d.manufacturer, 0) == 0;
  if (!d.manufacturer.empty() && !repeated) name = d.manufacturer;
  if (!d.description.empty()) name += (name.empty() ? "" : " ") + d.description;
  if (name.empty()) name = "Puerto serie";
  name += " (" + d.systemName + ")";
  name += " (COM" + std::to_string(number) + ")";
  return name;
}

}  // namespace velmira::platform
