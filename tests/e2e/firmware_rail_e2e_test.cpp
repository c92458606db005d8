// The whole chain to the motor driver's pins: the window, the real serial
// port, the pseudo-terminal, and the controller firmware that is flashed on
// the Arduino, running in the AVR simulator behind velmira-sim --avr.
#include <gtest/gtest.h>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

constexpr const char* kRail = "velmira-sim-avr";

bool isPin(const sim::PinChange& c, char port, int bit) { return c.port == port && c.bit == bit; }

// The STEP pulses on D2: 'F' with DIR (D3) high, 'B' with it low, 'x' for a
// pulse while ENABLE (D4) is high; and a '|' wherever ENABLE rose between.
std::string stepDirTrace(const std::vector<sim::PinChange>& pins) {
  std::string out;
  bool dirHigh = false, enableHigh = true;
  for (const sim::PinChange& c : pins) {
    if (isPin(c, 'D', 3)) dirHigh = c.high;
    if (isPin(c, 'D', 4)) {
      if (c.high && !enableHigh) out += '|';
      enableHigh = c.high;
    }
    if (isPin(c, 'D', 2) && c.high) out += enableHigh ? 'x' : dirHigh ? 'F' : 'B';
  }
  return out;
}

// The coils D8-D11 as the phase letters their patterns are ('p' all off),
// counted once all the coils of one write have changed.
std::string coilTrace(const std::vector<sim::PinChange>& pins) {
  std::string out;
  unsigned coils = 0;
  for (size_t i = 0; i < pins.size(); ++i) {
    const sim::PinChange& c = pins[i];
    if (c.port != 'B' || c.bit > 3) continue;
    coils = c.high ? coils | 1u << c.bit : coils & ~(1u << c.bit);
    if (i + 1 < pins.size() && pins[i + 1].timeUs == c.timeUs && pins[i + 1].port == 'B' && pins[i + 1].bit <= 3)
      continue;
    switch (coils) {
      case 0b0000: out += 'p'; break;
      case 0b0011: out += 'a'; break;
      case 0b0110: out += 'b'; break;
      case 0b1100: out += 'c'; break;
      case 0b1001: out += 'd'; break;
      default: out += '?';
    }
  }
  return out;
}

// How long D13 stayed high each time, in ms.
std::vector<double> shutterHolds(const std::vector<sim::PinChange>& pins) {
  std::vector<double> out;
  double rose = -1;
  for (const sim::PinChange& c : pins) {
    if (!isPin(c, 'B', 5)) continue;
    if (c.high) rose = c.timeUs;
    else if (rose >= 0) out.push_back((c.timeUs - rose) / 1000.0);
  }
  return out;
}

struct ChainCase {
  const char* name;
  std::string image;
  SimMode mode;
  sim::Backend backend;
};

class FirmwareRailE2E : public ::testing::TestWithParam<ChainCase> {};

TEST_P(FirmwareRailE2E, APositioningMoveOfEightStepsAndThreeBackReachesTheDriverStepByStep) {
  const ChainCase& c = GetParam();
  PortsDir ports;
  sim::Options o;
  o.name = kRail;
  o.avrImage = c.image;
  std::unique_ptr<SimulatedRail> rail = startRail(c.mode, o, ports.path(), VELMIRA_SIM_EXE);
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
  ASSERT_TRUE(rail->waitForBytes(line.size(), 5000)) << rail->bytes();
  EXPECT_EQ(rail->bytes(), line);
  std::vector<sim::PinChange> pins;
  if (c.backend == sim::Backend::StepDir) {
    // The motor-off after the last letter disables the driver.
    ASSERT_TRUE(pollUntil([&] { return stepDirTrace(pins = rail->pinChanges()) == "FFFFFFFF|BBB|"; }, 5000))
        << stepDirTrace(pins);
    EXPECT_TRUE(pins.back().high && isPin(pins.back(), 'D', 4)) << "ENABLE high is the last change";
  } else {
    // The coils take the host's phases one by one, and are off after each move.
    ASSERT_TRUE(pollUntil([&] { return coilTrace(pins = rail->pinChanges()) == "abcdabcdpcbap"; }, 5000))
        << coilTrace(pins);
  }
  for (const sim::PinChange& p : pins) EXPECT_FALSE(isPin(p, 'B', 5)) << "the shutter output never moved";

  const std::vector<sim::Event> events = rail->events();
  const sim::Summary s = rail->stop();
  EXPECT_EQ(s.tally.errors, 0);
  EXPECT_EQ(s.tally.lost, 0);
  EXPECT_FALSE(s.tally.energised);
  if (c.backend == sim::Backend::StepDir) {
    EXPECT_EQ(s.tally.position, 5) << "the rail went where the window counted";
  } else {
    // Nobody knows which detent a four-wire motor sits on at power-up: its
    // first phase only pulls the rotor in.
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1].kind, sim::Kind::Energise);
    EXPECT_EQ(s.tally.position, 4);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, FirmwareRailE2E,
    ::testing::Values(
        ChainCase{"StepDirElfInProcess", VELMIRA_FIRMWARE_STEPDIR_ELF, SimMode::InProcess, sim::Backend::StepDir},
        ChainCase{"StepDirHexProgram", VELMIRA_FIRMWARE_STEPDIR_HEX, SimMode::ChildProcess, sim::Backend::StepDir},
        ChainCase{"FourWireElfInProcess", VELMIRA_FIRMWARE_4WIRE_ELF, SimMode::InProcess, sim::Backend::FourWire}),
    [](const ::testing::TestParamInfo<ChainCase>& info) { return std::string(info.param.name); });

TEST(FirmwareRailTimingE2E, AStackRunOnTheRealClockHoldsDThirteenHighForASecondPerFrame) {
  PortsDir ports;
  sim::Options o;
  o.portsDir = ports.path();
  o.name = kRail;
  o.avrImage = VELMIRA_FIRMWARE_STEPDIR_ELF;
  o.resetMs = 1000;  // the board restarts on the open, as an Arduino does
  sim::Rail rail;
  rail.start(o);
  Rig rig{{.portsDir = ports.path(), .realTime = true}};
  Form_Principal& f = rig.form();
  ASSERT_TRUE(rig.start());
  controllerShot(f);
  runFields(f, "2", "2", "0", "0");
  rig.connect(kRail);
  ASSERT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  f.B_Procesar.click();
  EXPECT_EQ(f.Nfotos.text(), "2");

  const std::string line = "p" "rsabp" "rscdp" "p";
  ASSERT_TRUE(rail.waitForBytes(line.size(), 5000)) << rail.bytes();
  EXPECT_EQ(rail.bytes(), line);
  std::vector<sim::PinChange> pins;
  ASSERT_TRUE(pollUntil([&] { return stepDirTrace(pins = rail.pinChanges()).find("FF|FF|") != std::string::npos; }, 5000))
      << stepDirTrace(pins);
  const std::vector<double> holds = shutterHolds(pins);
  ASSERT_EQ(holds.size(), 2u);
  // The host holds the output for 1000 ms: a missing wait shows at once;
  // how long past it a loaded machine holds is for the benchmarks.
  for (double h : holds) EXPECT_GT(h, 900.0);
  const sim::Summary s = rail.summary();
  EXPECT_EQ(s.resets, 1);
  // Only the motor-off sent with the open meets the restarting board (whose
  // outputs are off anyway); the window waited for it before the first shot.
  EXPECT_EQ(s.tally.lostDuringReset, 1);
  EXPECT_EQ(s.tally.errors, 0);
  EXPECT_EQ(s.tally.shots, 2);
  EXPECT_EQ(s.tally.position, 4);
  EXPECT_EQ(f.Text2.text(), "4");
}

}  // namespace
}  // namespace velmira::test
