// Positioning moves of 2000 steps at speeds 1, 2 and 5 ms with the real Qt
// window (offscreen) and its own clock and event passes, against the
// simulated rail on a pseudo-terminal: the step rate the rail sees, its step
// periods and the host's own time per step beyond the delay.  The toolkit-free
// variant is move_bench.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "bench/figures.h"
#include "qt/main_view.h"
#include "qt/qt_platform.h"

using namespace velmira;

namespace {

constexpr int kSteps = 2000;

struct WindowBench {
  WindowBench() {
    sim::Options o;
    o.portsDir = ports.path();
    o.name = "velmira-sim-window-bench";
    o.restPhase = 'd';
    rail.start(o);
    form.start();
    view.show();
    for (int i = 0; i < form.ComboBoxCOM.listCount(); ++i)
      if (form.ComboBoxCOM.items()[static_cast<size_t>(i)].text.find(o.name) != std::string::npos)
        form.ComboBoxCOM.setListIndex(i);
    form.Command_CONECTAR.click();
    if (form.Command_CONECTAR.caption() != "DESCONECTAR") throw std::runtime_error("not connected");
    clock.sleepMs(1600);  // past the board's reset wait
  }
  void measure(int speedMs) {
    form.hscVelocidad.setValue(speedMs);
    form.Text9.setText(std::to_string(kSteps));
    const size_t before = rail.bytes().size();
    const double from = platform::monotonicMs();
    form.Mover.click();
    const double took = platform::monotonicMs() - from;
    rail.waitForBytes(before + kSteps + 1, 10000);
    std::vector<double> gaps = bench::periods(rail.events(), sim::Kind::StepForward, from - rail.startMs());
    double span = 0;
    for (double g : gaps) span += g;
    std::printf("%6d %10.1f %10.3f %10.3f %10.3f %12.3f %6lld\n", speedMs,
                1000.0 * static_cast<double>(gaps.size()) / span, bench::percentile(gaps, 0.5),
                bench::percentile(gaps, 0.99), bench::percentile(gaps, 1.0), took / kSteps - speedMs,
                static_cast<long long>(rail.lost()));
  }

  test::PortsDir ports;
  sim::Rail rail;
  test::Rig base;  // the message boxes and the process, faked
  link::PortRegistry registry;
  link::PortEnumerator enumerator{registry, nullptr, ports.path()};
  platform::PosixSerialPort serial{registry};
  qt::QtClock clock;
  qt::QtEventPump events;
  platform::Platform platform{serial,         enumerator,   base.keys,     clock,         events,
                              base.messages,  base.files,   base.pictures, base.instance, base.process};
  Form_Principal form{platform};
  qt::MainView view{form};
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  WindowBench b;
  std::printf("Positioning moves of %d steps, the real window (offscreen), rail on a pty\n", kSteps);
  std::printf("%6s %10s %10s %10s %10s %12s %6s\n", "speed", "steps/s", "median", "p99", "max", "host+/step",
              "lost");
  std::printf("%6s %10s %10s %10s %10s %12s %6s\n", "ms", "", "ms", "ms", "ms", "ms", "");
  for (int speed : {1, 2, 5}) b.measure(speed);
  return 0;
}
