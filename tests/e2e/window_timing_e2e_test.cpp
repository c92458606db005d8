// The whole window on the system's real clock against the simulated rail:
// the board's reset after the open, the step delay on the line, and the
// last motor-off before the port closes.
#include <gtest/gtest.h>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

constexpr const char* kRail = "velmira-sim-timing";

class WindowTimingE2E : public ::testing::Test {
 protected:
  void start(sim::Options o = {}) {
    o.portsDir = ports.path();
    o.name = kRail;
    o.restPhase = 'd';
    rail.start(o);
    ASSERT_TRUE(rig.start());
    rig.connect(kRail);
    ASSERT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  }
  // Every event once the host's close is among them (the summary can say
  // the port is closed a moment before the event list has its close).
  std::vector<sim::Event> closedSession(size_t bytes) {
    std::vector<sim::Event> all;
    EXPECT_TRUE(pollUntil(
        [&] {
          all = rail.allEvents();
          return rail.bytes().size() >= bytes && !all.empty() && all.back().kind == sim::Kind::PortClose;
        },
        5000));
    return all;
  }
  PortsDir ports;
  sim::Rail rail;
  Rig rig{{.portsDir = ports.path(), .realTime = true}};
  Form_Principal& f = rig.form();
};

TEST_F(WindowTimingE2E, AMoveRightAfterConnectingWaitsForTheBoardAndLosesNoStep) {
  sim::Options o;
  o.resetMs = 1000;
  start(o);
  f.hscVelocidad.setValue(40);
  f.Text9.setText("5");
  f.Mover.click();
  ASSERT_TRUE(rail.waitForBytes(7, 5000));
  std::vector<sim::Event> e = rail.events();
  EXPECT_EQ(rail.bytes(), "pabcdap");
  EXPECT_TRUE(e[0].ignored) << "the connect's motor-off meets the boot loader; the motor is off anyway";
  for (size_t i = 1; i < e.size(); ++i) EXPECT_FALSE(e[i].ignored) << i;
  EXPECT_EQ(rail.position(), 5);
  EXPECT_EQ(rail.lost(), 1) << "only that motor-off";
  const double opened = rail.portEvents().at(0).tMs;
  EXPECT_GE(e[1].tMs - opened, 1450.0) << "the first letter waits until the board listens";
  // Held back behind its own delay, it would come 40 ms later.
  EXPECT_LT(e[1].tMs - opened, 1500.0 + 25) << "the first letter goes out before its delay";
  for (size_t i = 2; i < e.size(); ++i) {
    const double gap = e[i].tMs - e[i - 1].tMs;
    EXPECT_GE(gap, 40.0 - 10) << i << ": each letter, then the delay";
    EXPECT_LT(gap, 2 * 40.0 - 5) << i << ": not a letter held back behind its delay";
  }
}

TEST_F(WindowTimingE2E, DisconnectRightAfterAFastMoveSendsTheMotorOffThreeHundredMillisecondsBeforeTheClose) {
  start();
  f.Text9.setText("100");  // speed 1: one letter per millisecond
  f.Mover.click();
  f.Command_CONECTAR.click();
  std::vector<sim::Event> all = closedSession(103);
  ASSERT_GE(all.size(), 3u);
  const sim::Event& close = all.back();
  const sim::Event& last = all[all.size() - 2];
  ASSERT_EQ(close.kind, sim::Kind::PortClose);
  EXPECT_EQ(last.byte, 'p');
  EXPECT_GE(close.tMs - last.tMs, 295.0);
  EXPECT_EQ(rail.position(), 100);
}

TEST_F(WindowTimingE2E, ExitSendsTheMotorOffThreeHundredMillisecondsBeforeTheClose) {
  start();
  EXPECT_THROW(f.Salir.click(), ProgramEnded);
  std::vector<sim::Event> all = closedSession(2);
  ASSERT_EQ(all.size(), 4u);  // open, p, p, close
  EXPECT_EQ(all[2].byte, 'p');
  EXPECT_GE(all[3].tMs - all[2].tMs, 295.0);
}

}  // namespace
}  // namespace velmira::test
