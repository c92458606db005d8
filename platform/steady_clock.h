// Real time for the programs and the real-time end-to-end tests: the
// monotonic clock of the system and a blocking wait that ends at the
// requested instant (an absolute deadline, so a signal that interrupts the
// wait does not make it longer or shorter).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmira::platform {

// CLOCK_MONOTONIC in nanoseconds: the one time source of the program.
int64_t monotonicNs();
// CLOCK_MONOTONIC in milliseconds, with its sub-millisecond part.
double monotonicMs();

// Blocks the calling thread until CLOCK_MONOTONIC reaches `deadlineNs` (a
// signal does not make the wait shorter or longer).  With `precise` the
// last stretch, about as long as the kernel takes to wake a thread, is spent
// watching the clock instead of sleeping: the wait then ends within a few
// microseconds of the deadline, for at most that much processor time.
void sleepUntilNs(int64_t deadlineNs, bool precise = false);

class SteadyClock : public Clock {
 public:
  int64_t nowMs() override;
  // Blocks the calling thread for `ms` milliseconds; 0 or less returns at once.
  void sleepMs(int32_t ms) override;
};

}  // namespace velmira::platform
