// A stack run of 20 frames of 50 steps at speed 1, no pauses, controller
// shot, with the window on the real clock against the simulated rail: the
// total time against the sum of the waits, the overhead per frame, and the
// hold of every actuation of the shutter output as the rail measured it.
#include <cmath>
#include <cstdio>

#include "bench/figures.h"

using namespace velmira;

int main() {
  constexpr int kFrames = 20, kSteps = 50, kSpeedMs = 1;
  bench::Bench b(sim::Options{});
  Form_Principal& f = b.form();
  test::controllerShot(f);
  f.hscVelocidad.setValue(kSpeedMs);
  test::runFields(f, std::to_string(kFrames).c_str(), std::to_string(kSteps).c_str(), "0", "0");
  const double from = platform::monotonicMs();
  f.B_Procesar.click();
  const double took = platform::monotonicMs() - from;
  const double ideal = kFrames * (1000.0 + kSteps * kSpeedMs);
  b.rail.waitForBytes(static_cast<size_t>(1 + kFrames * (kSteps + 3) + 1), 10000);
  std::vector<double> holds = b.rail.holds();
  double worst = 0;
  for (double h : holds) worst = std::max(worst, std::fabs(h - 1000.0));
  std::printf("Stack run: %d frames x %d steps, speed %d ms, T.A.F. 0, T.P.F. 0, controller shot\n", kFrames, kSteps,
              kSpeedMs);
  std::printf("  total               %10.1f ms\n", took);
  std::printf("  ideal (waits)       %10.1f ms\n", ideal);
  std::printf("  overhead            %10.1f ms (%.2f %%)\n", took - ideal, 100.0 * (took - ideal) / ideal);
  std::printf("  overhead per frame  %10.2f ms\n", (took - ideal) / kFrames);
  std::printf("  actuations          %10zu (shots %lld)\n", holds.size(), static_cast<long long>(b.rail.shots()));
  std::printf("  hold median         %10.3f ms\n", bench::percentile(holds, 0.5));
  std::printf("  hold worst |h-1000| %10.3f ms\n", worst);
  std::printf("  rail position       %10lld steps, lost %lld, errors %lld\n", static_cast<long long>(b.rail.position()),
              static_cast<long long>(b.rail.lost()), static_cast<long long>(b.rail.errors()));
  return 0;
}
