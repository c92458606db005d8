// The numbers of the serial ports.  The window knows a port only by the
// number behind "COM" in its display name; the registry gives every device
// one number for the whole run (the same number again when an adapter is
// unplugged and plugged back in) and finds the device path for a number.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmira::platform {

struct DeviceInfo {
  std::string path;          // /dev/ttyACM0, or the link of a virtual port
  std::string systemName;    // ttyACM0, pts/3
  std::string description;   // "Arduino Uno", "velmira-sim"
  std::string manufacturer;  // "Arduino (www.arduino.cc)"
  std::string vendorId;      // four hex digits, or empty
  std::string productId;
  std::string serialNumber;
  bool operator==(const DeviceInfo&) const = default;
};

class PortRegistry {
 public:
  // The number of `device`, assigned on first sight.  A device with a
  // serial number is matched by vendor, product and serial number (so it
  // keeps its number on another path); any other by its path.
  int16_t numberFor(const DeviceInfo& device);
  // The device last seen under `number`.
  std::optional<DeviceInfo> deviceFor(int16_t number) const;

  // "Arduino (www.arduino.cc) Arduino Uno (ttyACM0) (COM3)"
  static std::string displayName(const DeviceInfo& device, int16_t number);

 private:
  static std::string keyOf(const DeviceInfo& device);
  std::map<std::string, int16_t> numbers_;
  std::map<int16_t, DeviceInfo> devices_;
  int16_t next_ = 1;
};

}  // namespace velmira::platform
