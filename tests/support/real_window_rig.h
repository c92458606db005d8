// The program's window on the real clock and the real event passes (or the
// given subclasses of them), connected to a simulated rail on a
// pseudo-terminal through the real serial port; message boxes, files and the
// end of the process are the fakes'.  Shared by the tests of the window on
// an X server and the window's benchmark.
#pragma once

#include <string>

#include "qt/main_view.h"
#include "qt/qt_platform.h"
#include "tests/support/sim_harness.h"

namespace velmira::test {

template <class Clock = qt::QtClock, class Pump = qt::QtEventPump>
struct RealWindowRig {
  // Starts the rail named `name`, shows the window, connects to the rail
  // and waits out the board's reset; `beforeShow` may dress the window.
  template <class BeforeShow>
  RealWindowRig(const std::string& name, BeforeShow beforeShow) {
    sim::Options o;
    o.portsDir = ports.path();
    o.name = name;
    o.restPhase = 'd';
    rail.start(o);
    form.start();
    beforeShow(form);
    view.show();
    for (int i = 0; i < form.ComboBoxCOM.listCount(); ++i)
      if (form.ComboBoxCOM.items()[static_cast<size_t>(i)].text.find(name) != std::string::npos)
        form.ComboBoxCOM.setListIndex(i);
    form.Command_CONECTAR.click();
    clock.sleepMs(1600);  // past the board's reset wait
    events.doEvents();
  }
  explicit RealWindowRig(const std::string& name) : RealWindowRig(name, [](Form_Principal&) {}) {}
  bool connected() const { return form.Command_CONECTAR.caption() == "DESCONECTAR"; }

  PortsDir ports;
  sim::Rail rail;
  Clock clock;
  Pump events;
  Rig base{{.portsDir = ports.path(), .clock = &clock, .events = &events}};
  Form_Principal& form = base.form();
  qt::MainView view{form};
};

}  // namespace velmira::test
