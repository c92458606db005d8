// Small helpers of the benchmark programs: the window on the real clock
// against a simulated rail, and order statistics.
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "tests/support/sim_harness.h"

namespace velmira::bench {

// The value below which `fraction` of `values` lie (nearest rank).
inline double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t rank = static_cast<size_t>(fraction * static_cast<double>(values.size()) + 0.5);
  return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

// A simulated rail and a connected window waiting on the real clock, past
// the wait for the board's reset that follows the open.
struct Bench {
  explicit Bench(sim::Options options) {
    options.portsDir = ports.path();
    options.name = "velmira-sim-bench";
    options.restPhase = 'd';
    rail.start(options);
    rig = std::make_unique<test::Rig>(test::RigOptions{.portsDir = ports.path(), .realTime = true});
    if (!rig->start()) throw std::runtime_error("the window did not start");
    rig->connect("velmira-sim-bench");
    if (rig->form().Command_CONECTAR.caption() != "DESCONECTAR") throw std::runtime_error("not connected");
    rig->steady.sleepMs(1600);
  }
  Form_Principal& form() { return rig->form(); }

  test::PortsDir ports;
  sim::Rail rail;
  std::unique_ptr<test::Rig> rig;
};

// The times between successive events of `kind` from `fromMs` on.
inline std::vector<double> periods(const std::vector<sim::Event>& events, sim::Kind kind, double fromMs) {
  std::vector<double> out;
  double last = -1;
  for (const sim::Event& e : events) {
    if (e.kind != kind || e.tMs < fromMs) continue;
    if (last >= 0) out.push_back(e.tMs - last);
    last = e.tMs;
  }
  return out;
}

}  // namespace velmira::bench
