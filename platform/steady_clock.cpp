#include "platform/steady_clock.h"

#include <sys/prctl.h>

#include <cerrno>
#include <ctime>

namespace velmira::platform {
namespace {

// How late the kernel wakes a sleeping thread, about (measured: 30-70 us on
// an ordinary machine with the timer slack at its least).
constexpr int64_t kWakeLatencyNs = 60'000;

}  // namespace

int64_t monotonicNs() {
  timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double monotonicMs() { return static_cast<double>(monotonicNs()) / 1e6; }

void sleepUntilNs(int64_t deadlineNs, bool precise) {
  if (precise) {
    // The kernel's default slack of 50 us on every wake-up would be 5 % of
    // a 1 ms step.  The setting is the calling thread's own.
    static thread_local bool slackSet = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)slackSet;
  }
  const int64_t wake = precise ? deadlineNs - kWakeLatencyNs : deadlineNs;
  if (wake > monotonicNs()) {
    timespec until{static_cast<time_t>(wake / 1'000'000'000), static_cast<long>(wake % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
  }
  while (precise && monotonicNs() < deadlineNs) {
  }
}

int64_t SteadyClock::nowMs() { return monotonicNs() / 1'000'000; }

void SteadyClock::sleepMs(int32_t ms) {
  if (ms <= 0) return;
  sleepUntilNs(monotonicNs() + static_cast<int64_t>(ms) * 1'000'000);
}

}  // namespace velmira::platform
