// A private D-Bus daemon for the tests of the desktop services: its own
// socket in a temporary folder, so that the tests never reach the
// machine's buses; ended with the object.
#pragma once

#include <sys/types.h>

#include <string>

namespace velmira::test {

class PrivateBus {
 public:
  // Throws std::runtime_error when dbus-daemon cannot be started.
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string dir_, address_;
};

}  // namespace velmira::test
