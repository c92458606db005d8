// The window's own waits as the rail sees them, on the real clock: how long
// after the open the first letter of a move comes (the board's reset wait),
// the gaps between the letters of a move at 40 ms, and how long the motor-off
// precedes the port's close after a disconnect and after "Salir".
#include <cstdio>

#include "bench/figures.h"

using namespace velmira;

namespace {

constexpr const char* kRail = "velmira-sim-timing";

struct Window {
  explicit Window(sim::Options o = {}) {
    o.portsDir = ports.path();
    o.name = kRail;
    o.restPhase = 'd';
    rail.start(o);
    if (!rig.start()) throw std::runtime_error("the window did not start");
    rig.connect(kRail);
    if (rig.form().Command_CONECTAR.caption() != "DESCONECTAR") throw std::runtime_error("not connected");
  }
  // The time from the last byte to the port's close.
  double motorOffBeforeClose(size_t bytes) {
    std::vector<sim::Event> all;
    test::pollUntil(
        [&] {
          all = rail.allEvents();
          return rail.bytes().size() >= bytes && !all.empty() && all.back().kind == sim::Kind::PortClose;
        },
        5000);
    return all.size() >= 2 ? all.back().tMs - all[all.size() - 2].tMs : -1;
  }
  test::PortsDir ports;
  sim::Rail rail;
  test::Rig rig{{.portsDir = ports.path(), .realTime = true}};
};

}  // namespace

int main() {
  {
    sim::Options o;
    o.resetMs = 1000;
    Window w(o);
    Form_Principal& f = w.rig.form();
    f.hscVelocidad.setValue(40);
    f.Text9.setText("20");
    f.Mover.click();
    w.rail.waitForBytes(22, 5000);
    const std::vector<sim::Event> e = w.rail.events();
    const double opened = w.rail.portEvents().at(0).tMs;
    std::vector<double> gaps;
    for (size_t i = 2; i + 1 < e.size(); ++i) gaps.push_back(e[i].tMs - e[i - 1].tMs);
    std::printf("A move of 20 steps at 40 ms right after connecting (board in reset for 1000 ms)\n");
    std::printf("  first letter after the open: %.1f ms (the wait is 1500 ms)\n", e.at(1).tMs - opened);
    std::printf("  letters ignored by the board: %lld (the connect's motor-off only)\n",
                static_cast<long long>(w.rail.lost()));
    std::printf("  gaps between letters: min %.2f, median %.2f, max %.2f ms\n", bench::percentile(gaps, 0),
                bench::percentile(gaps, 0.5), bench::percentile(gaps, 1.0));
  }
  {
    Window w;
    Form_Principal& f = w.rig.form();
    w.rig.steady.sleepMs(1600);
    f.Text9.setText("100");
    f.Mover.click();
    f.Command_CONECTAR.click();
    std::printf("Disconnect right after a move of 100 steps at 1 ms: motor-off %.1f ms before the close (300 ms)\n",
                w.motorOffBeforeClose(103));
  }
  {
    Window w;
    try {
      w.rig.form().Salir.click();
    } catch (const ProgramEnded&) {
    }
    std::printf("Salir: motor-off %.1f ms before the close (300 ms)\n", w.motorOffBeforeClose(2));
  }
  return 0;
}
