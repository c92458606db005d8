// Real time for the programs and the real-time end-to-end tests: the
// monotonic clock of the system and a blocking wait that ends at the
// requested instant (an absolute deadline, so a signal that interrupts the
// wait does not make it longer or shorter), and an event pump for a host
// without a window.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmira::platform {

// CLOCK_MONOTONIC in milliseconds, with its sub-millisecond part.
double monotonicMs();

class SteadyClock : public Clock {
 public:
  int64_t nowMs() override;
  // Blocks the calling thread for `ms` milliseconds; 0 or less returns at once.
  void sleepMs(int32_t ms) override;
};

// No window, so no pending events.
class NoEvents : public EventPump {
 public:
  void doEvents() override {}
};

}  // namespace velmira::platform
