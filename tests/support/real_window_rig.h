// The program's real window over a rig: on the fakes of the platform and
// the virtual clock (WindowRig), or on the real clock and event passes,
// connected through the real serial port to a simulated rail on a
// pseudo-terminal (RealWindowRig).  Message boxes, files and the end of the
// process are the fakes'.  Shared by the tests of the window and its
// benchmark.
#pragma once

#include <QApplication>
#include <memory>
#include <string>

#include "qt/main_view.h"
#include "qt/notes_view.h"
#include "qt/qt_platform.h"
#include "tests/support/sim_harness.h"

namespace velmira::test {

class WindowRig {
 public:
  // With `qtEvents` the window's event passes run Qt's events (clicks made
  // during a move arrive); otherwise they run the fake's scheduled actions.
  explicit WindowRig(bool qtEvents = false) : rig(qtEvents ? RigOptions{.events = &qtPump_} : RigOptions{}) {}
  Form_Principal& form() { return rig.form(); }
  qt::MainView& view() {
    if (!view_) view_ = std::make_unique<qt::MainView>(form());
    return *view_;
  }
  qt::NotesView& notes() { return view().notesView(); }
  // Start-up with the window on screen and active.
  void start() {
    view();
    rig.start();
    QApplication::setActiveWindow(view_.get());
    QApplication::processEvents();
  }
  template <class W = QWidget>
  W* w(const std::string& name) {
    W* widget = view().widget<W>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

 private:
  qt::QtEventPump qtPump_;

 public:
  Rig rig;

 private:
  std::unique_ptr<qt::MainView> view_;
};

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
    base.connect(name);
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
