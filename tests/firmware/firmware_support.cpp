#include "tests/firmware/firmware_support.h"

namespace velmira::firmware::test {

namespace {

bool same(const PinChange& c, Pin p) { return c.port == p.port && c.bit == p.bit; }

// The level of a pin before the first recorded change.
bool levelBefore(const AvrBoard& b, Pin p) {
  for (const PinChange& c : b.changes())
    if (same(c, p)) return !c.high;
  return level(b, p);
}

}  // namespace

std::vector<Pulse> stepPulses(const AvrBoard& b) {
  std::vector<Pulse> pulses;
  bool dir = levelBefore(b, kDir);
  bool enableHigh = levelBefore(b, kEnable);
  double dirChangedUs = 0;
  for (const PinChange& c : b.changes()) {
    if (same(c, kDir)) {
      dir = c.high;
      dirChangedUs = c.timeUs;
    } else if (same(c, kEnable)) {
      enableHigh = c.high;
    } else if (same(c, kStep) && c.high) {
      pulses.push_back({c.timeUs, -1.0, dir, c.timeUs - dirChangedUs, !enableHigh});
    } else if (same(c, kStep) && !pulses.empty()) {
      pulses.back().widthUs = c.timeUs - pulses.back().riseUs;
    }
  }
  return pulses;
}

void sendPaced(AvrBoard& b, const std::string& bytes, double gapMs) {
  for (char c : bytes) {
    const double start = b.nowMs();
    b.send(std::string(1, c));
    b.runMs(gapMs - (b.nowMs() - start));
  }
}

}  // namespace velmira::firmware::test
