// Waiting in real time for something outside the test's own thread (a
// child process, the simulated rail, a window manager), through the
// platform clock.
#pragma once

#include <functional>

namespace velmira::test {

// True once `done` holds, false after `timeoutMs`.
bool pollUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace velmira::test
