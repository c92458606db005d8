// Waiting in real time for something outside the test's own thread (a
// child process, the simulated rail, a window manager), through the
// platform clock.
#pragma once

#include <functional>

#include "platform/steady_clock.h"

namespace velmira::test {

// True once `done` holds, false after `timeoutMs`.
inline bool pollUntil(const std::function<bool()>& done, int timeoutMs) {
  platform::SteadyClock clock;
  for (const int64_t deadline = clock.nowMs() + timeoutMs; !done(); clock.sleepMs(2))
    if (clock.nowMs() >= deadline) return false;
  return true;
}

}  // namespace velmira::test
