#include "tests/support/poll.h"

#include "platform/steady_clock.h"

namespace velmira::test {

bool pollUntil(const std::function<bool()>& done, int timeoutMs) {
  platform::SteadyClock clock;
  const int64_t deadline = clock.nowMs() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (clock.nowMs() >= deadline) return false;
    clock.sleepMs(2);
  }
}

}  // namespace velmira::test
