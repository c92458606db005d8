// Positioning moves of 2000 steps at speeds 1, 2 and 5 ms against the
// simulated rail on a pseudo-terminal, with the window on the real clock:
// the step rate the rail sees, its step periods, the host's own time per
// step beyond the delay, and at 9600 baud the largest queue on the line.
#include <cstdio>

#include "bench/figures.h"

using namespace velmira;

namespace {

constexpr int kSteps = 2000;

void measure(int speedMs, int baud) {
  sim::Options o;
  o.baud = baud;
  bench::Bench b(o);
  Form_Principal& f = b.form();
  f.hscVelocidad.setValue(speedMs);
  f.Text9.setText(std::to_string(kSteps));
  const double from = platform::monotonicMs();
  f.Mover.click();
  const double took = platform::monotonicMs() - from;
  b.rail.waitForBytes(static_cast<size_t>(kSteps) + 2, 10000);
  std::vector<double> gaps = bench::periods(b.rail.events(), sim::Kind::StepForward, from - b.rail.startMs());
  double span = 0;
  for (double g : gaps) span += g;
  std::printf("%6d %8s %10.1f %10.3f %10.3f %10.3f %12.3f %8d %6lld\n", speedMs, baud ? "9600" : "-",
              1000.0 * static_cast<double>(gaps.size()) / span, bench::percentile(gaps, 0.5),
              bench::percentile(gaps, 0.99), bench::percentile(gaps, 1.0), took / kSteps - speedMs,
              b.rail.summary().maxQueue, static_cast<long long>(b.rail.lost()));
}

}  // namespace

int main() {
  std::printf("Positioning moves of %d steps, window on the real clock, rail on a pty\n", kSteps);
  std::printf("%6s %8s %10s %10s %10s %10s %12s %8s %6s\n", "speed", "baud", "steps/s", "median", "p99", "max",
              "host+/step", "queue", "lost");
  std::printf("%6s %8s %10s %10s %10s %10s %12s %8s %6s\n", "ms", "", "", "ms", "ms", "ms", "ms", "bytes", "");
  for (int baud : {0, 9600})
    for (int speed : {1, 2, 5}) measure(speed, baud);
  return 0;
}
