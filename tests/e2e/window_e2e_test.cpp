// The whole window against the simulated rail on a real pseudo-terminal:
// the real port discovery and serial port, the other platform parts faked.
// Moves, runs and ends on the rail are scenarios (tests/scenarios/rail.scn);
// here the port's name, the board's reset on the real clock, a vanishing rail.
// The clock is the virtual one where the test is about order;
// bench/window_timing_bench.cpp prints the times.
#include <gtest/gtest.h>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

constexpr const char* kRail = "velmira-sim-window";

class WindowE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    startRail();
    ASSERT_TRUE(rig.start());
    rig.messages.shown.clear();  // start-up's box about the missing configuration
    f.Text10.setText("0");  // no pauses around the photos
    f.Text5.setText("0");
  }
  void startRail(sim::Options o = {}) {
    o.portsDir = ports.path();
    o.name = kRail;
    o.restPhase = 'd';  // where the window takes the motor to be
    rail = std::make_unique<sim::Rail>();
    rail->start(o);
  }
  void connect() {
    rig.connect(kRail);
    ASSERT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  }
  // Every byte the rail received, once it has received `n` of them.
  std::string line(size_t n) {
    EXPECT_TRUE(rail->waitForBytes(n, 5000)) << rail->bytes();
    return rail->bytes();
  }
  void move(const std::string& steps) {
    f.Text9.setText(steps);
    f.Mover.click();
  }
  void atPass(int pass, std::function<void()> action) { rig.events.atPass(pass, std::move(action)); }

  PortsDir ports;
  std::unique_ptr<sim::Rail> rail;
  Rig rig{{.portsDir = ports.path()}};
  Form_Principal& f = rig.form();
};

TEST_F(WindowE2E, StartUpListsTheRailAndConnectingSwitchesTheMotorOffFirst) {
  ASSERT_EQ(f.ComboBoxCOM.listCount(), 1);
  const std::string item = f.ComboBoxCOM.items()[0].text;
  EXPECT_EQ(item.rfind(std::string(kRail) + " (pts/", 0), 0u) << item;
  EXPECT_EQ(item.substr(item.size() - 7), " (COM1)");
  EXPECT_EQ(f.ComboBoxCOM.itemData(0), 1);
  connect();
  EXPECT_EQ(line(1), "p");
  EXPECT_EQ(f.Text_Mensajes.text(), "Conectado");
  EXPECT_EQ(rail->lineSettings(), "9600,N,8,1");
  EXPECT_TRUE(rail->hostOpen());
  EXPECT_FALSE(f.BuscarPuerto.enabled());
  EXPECT_TRUE(rig.boxes().empty());
}

TEST(WindowE2EOnTheRealClock, AMoveRightAfterConnectingWaitsForTheBoardAndLosesNoStep) {
  PortsDir ports;
  sim::Rail rail;
  sim::Options o;
  o.portsDir = ports.path();
  o.name = kRail;
  o.restPhase = 'd';
  o.resetMs = 1000;
  rail.start(o);
  Rig rig{{.portsDir = ports.path(), .realTime = true}};
  ASSERT_TRUE(rig.start());
  rig.connect(kRail);
  rig.form().hscVelocidad.setValue(40);
  rig.form().Text9.setText("5");
  rig.form().Mover.click();
  ASSERT_TRUE(rail.waitForBytes(7, 5000));
  std::vector<sim::Event> e = rail.events();
  EXPECT_EQ(rail.bytes(), "pabcdap");
  EXPECT_TRUE(e[0].ignored) << "the connect's motor-off meets the boot loader; the motor is off anyway";
  for (size_t i = 1; i < e.size(); ++i) EXPECT_FALSE(e[i].ignored) << i;
  EXPECT_EQ(rail.position(), 5);
}

TEST_F(WindowE2E, AnUnpluggedRailEndsTheMoveInErrorAndAReturningOneCanBeReconnected) {
  rail->stop();
  sim::Options o;
  o.vanishAfterBytes = 4;
  startRail(o);
  connect();
  // The window writes far faster than the virtual clock's steps take: the
  // pass after the fourth byte waits until the rail has seen it and gone.
  atPass(3, [&] { rail->waitFor([](const sim::Summary& s) { return s.vanished; }, 5000); });
  move("100");  // must end, not hang
  EXPECT_TRUE(rail->vanished());
  EXPECT_EQ(rail->bytes(), "pabc");
  ASSERT_EQ(rig.boxes(), std::vector<std::string>{"Error!"});
  EXPECT_EQ(rig.messages.shown[0].detail, platform::failureDetail(EIO));
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(f.LED.fillColor(), kRed);
  EXPECT_GE(leadingNumber(f.Text2.text()), 3);
  // The adapter is plugged in again: same name, so the same list item.
  rail->stop();
  startRail();
  f.Command_CONECTAR.click();  // closes the port of the vanished one
  EXPECT_FALSE(f.MSComm_Puerto_Serie.isOpen()) << "a port whose device is gone must still be closable";
  EXPECT_EQ(rig.boxes(), (std::vector<std::string>{"Error!", "Error!"})) << "its motor-off could not be sent";
  f.Command_CONECTAR.click();  // connects to the new one
  EXPECT_EQ(f.Text_Mensajes.text(), "Conectado");
  EXPECT_EQ(line(1), "p");
}

}  // namespace
}  // namespace velmira::test
