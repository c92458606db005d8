// The whole chain to the motor driver's pins: the window, the real serial
// port, the pseudo-terminal, and the controller firmware that is flashed on
// the Arduino, running in the AVR simulator behind velmira-sim --avr, which
// reads what each byte did back off the pins (sim/avr_controller.h; that
// reading is checked against the pins in tests/firmware).
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

constexpr const char* kRail = "velmira-sim-avr";

// What became of each byte, by the names of the rail's log; ! for a byte
// the restarting board missed.
std::string kinds(const std::vector<sim::Event>& events) {
  std::string out;
  for (const sim::Event& e : events)
    out += (out.empty() ? "" : " ") + std::string(sim::kindName(e.kind)) + (e.ignored ? "!" : "");
  return out;
}

struct ChainCase {
  const char* name;
  const char* image;
  const char* motor;  // what each byte did to the motor
  int position;
  const char* pin;    // and how often this pin rose, in the pin log
  int rises;
};

class FirmwareRailE2E : public ::testing::TestWithParam<ChainCase> {};

TEST_P(FirmwareRailE2E, APositioningMoveOfEightStepsAndThreeBackReachesTheDriverStepByStep) {
  const ChainCase& c = GetParam();
  PortsDir ports;
  ChildRail rail(VELMIRA_SIM_EXE, ports.path(), kRail, {"--avr", c.image});
  Rig rig{{.portsDir = ports.path()}};
  Form_Principal& f = rig.form();
  ASSERT_TRUE(rig.start());
  rig.connect(kRail);
  ASSERT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  f.Text9.setText("8");
  f.Mover.click();
  f.CheckP3.setValue(1);  // "Hacia Atras"
  f.Text9.setText("3");
  f.Mover.click();
  EXPECT_EQ(f.Text2.text(), "5");

  const std::string line = "p" "abcdabcdp" "cbap";
  ASSERT_TRUE(rail.waitForBytes(line.size(), 5000)) << rail.bytes();
  EXPECT_EQ(rail.bytes(), line);
  // The driver takes the host's phases one by one, and is off after each move.
  EXPECT_EQ(kinds(rail.events()), c.motor);
  const std::vector<sim::PinChange> pins = rail.pinChanges();
  auto rise = [&](const sim::PinChange& p) { return p.high && sim::arduinoPinName(p.port, p.bit) == c.pin; };
  EXPECT_EQ(std::count_if(pins.begin(), pins.end(), rise), c.rises);
  rail.stop();
  EXPECT_EQ(rail.figure("shots"), 0) << "the shutter output never moved";
  EXPECT_EQ(rail.figure("position"), c.position) << "the rail went where the window counted";
}

// Nobody knows which detent a four-wire motor sits on at power-up: its
// first phase only pulls the rotor in.
INSTANTIATE_TEST_SUITE_P(
    Images, FirmwareRailE2E,
    ::testing::Values(
        ChainCase{"StepDirHex", VELMIRA_FIRMWARE_STEPDIR_HEX,
                  "off step+ step+ step+ step+ step+ step+ step+ step+ off step- step- step- off", 5, "D2", 11},
        ChainCase{"FourWireElf", VELMIRA_FIRMWARE_4WIRE_ELF,
                  "off energise step+ step+ step+ step+ step+ step+ step+ off step- step- step- off", 4, "D8", 4}),
    [](const ::testing::TestParamInfo<ChainCase>& info) { return std::string(info.param.name); });

// The window on the system's clock: the board restarts when the port is
// opened, as an Arduino does, and the window waits for it.
TEST(FirmwareRailTimingE2E, AStackRunOnTheRealClockHoldsDThirteenHighForASecondPerFrame) {
  PortsDir ports;
  sim::Options o;
  o.portsDir = ports.path();
  o.name = kRail;
  o.resetMs = 1000;
  o.avrImage = VELMIRA_FIRMWARE_STEPDIR_ELF;
  sim::Rail rail;
  rail.start(o);
  Rig rig{{.portsDir = ports.path(), .realTime = true}};
  Form_Principal& f = rig.form();
  ASSERT_TRUE(rig.start());
  controllerShot(f);
  runFields(f, "2", "2", "0", "0");
  const int64_t from = rig.steady.nowMs();
  rig.connect(kRail);
  ASSERT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  f.B_Procesar.click();
  EXPECT_GE(rig.steady.nowMs() - from, 3000) << "the reset and two holds, on the system's clock";
  EXPECT_EQ(f.Nfotos.text(), "2");
  EXPECT_EQ(f.Text2.text(), "4");

  const std::string line = "p" "rsabp" "rscdp" "p";
  ASSERT_TRUE(rail.waitForBytes(line.size(), 5000)) << rail.bytes();
  EXPECT_EQ(rail.bytes(), line);
  // Only the motor-off sent with the open meets the restarting board (whose
  // outputs are off anyway); the window waited for it before the first shot.
  EXPECT_EQ(kinds(rail.events()),
            "lost! shutter_open shutter_close step+ step+ off shutter_open shutter_close step+ step+ off off");
  // The host holds the output for 1000 ms: a missing wait shows at once;
  // how long past it a loaded machine holds is for the benchmarks.
  ASSERT_EQ(rail.holds().size(), 2u);
  for (double h : rail.holds()) EXPECT_GT(h, 900.0);
}

}  // namespace
}  // namespace velmira::test
