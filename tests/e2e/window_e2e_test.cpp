// The whole window against the simulated rail on a real pseudo-terminal:
// the real port discovery and serial port, the other platform parts faked.
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
  // Waits until the host has opened the port `opens` times and closed it.
  bool portClosed(int opens = 1) {
    return rail->waitFor([opens](const sim::Summary& s) { return s.opens >= opens && !s.hostOpen; }, 5000);
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

TEST_F(WindowE2E, MovesForwardsAndBackwardsStepByStepOnTheRail) {
  connect();
  std::vector<std::string> shown;
  for (int pass = 1; pass <= 5; ++pass) atPass(pass, [&] { shown.push_back(f.Text2.text()); });
  move("5");
  EXPECT_EQ(line(7), "pabcdap");
  EXPECT_EQ(shown, (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(rail->position(), 5);
  f.CheckP3.setValue(1);  // "Hacia Atras"
  move("7");
  EXPECT_EQ(line(15), "pabcdap" "dcbadcbp");
  EXPECT_EQ(f.Text2.text(), "-2");
  EXPECT_EQ(rail->position(), -2) << "the rail went where the window counted";
  EXPECT_EQ(rail->lost(), 0);
  EXPECT_EQ(rail->errors(), 0);
}

TEST_F(WindowE2E, DisconnectDuringAMoveClosesThePortAndTheMoveEndsInError) {
  connect();
  atPass(2, [&] { f.Command_CONECTAR.click(); });
  move("100");
  EXPECT_EQ(line(4), "pab" "p");
  EXPECT_TRUE(portClosed());
  EXPECT_TRUE(rail->events().size() == 4u) << "nothing after the disconnect's p";
  EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Error!"});
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
  EXPECT_EQ(f.Text2.text(), "2");
  // The disconnect closed the port, so the next click connects again.
  f.Command_CONECTAR.click();
  EXPECT_EQ(line(5), "pabpp");
  EXPECT_EQ(f.Text_Mensajes.text(), "Conectado");
}

TEST_F(WindowE2E, ThePortsLastByteBeforeItClosesIsTheMotorOffEvenRightAfterAMove) {
  connect();
  move("200");
  f.Command_CONECTAR.click();
  ASSERT_TRUE(portClosed());
  const std::string bytes = line(203);
  EXPECT_EQ(bytes.size(), 203u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "pp");
  std::vector<sim::Event> all = rail->allEvents();
  ASSERT_EQ(all.back().kind, sim::Kind::PortClose);
  EXPECT_EQ(all[all.size() - 2].byte, 'p');
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

TEST_F(WindowE2E, ExitWhileConnectedOrMovingSwitchesTheMotorOffAndClosesThePort) {
  for (bool moving : {false, true}) {
    SCOPED_TRACE(moving ? "moving" : "connected");
    rail->stop();
    startRail();
    Rig other{{.portsDir = ports.path()}};
    ASSERT_TRUE(other.start());
    other.connect(kRail);
    if (moving) {
      other.events.atPass(3, [&] { other.form().Salir.click(); });
      other.form().Text9.setText("100");
      EXPECT_THROW(other.form().Mover.click(), ProgramEnded);
    } else {
      EXPECT_THROW(other.form().Salir.click(), ProgramEnded);
    }
    EXPECT_EQ(other.process.ended, 1);
    const std::string expected = moving ? "pabcp" : "pp";
    EXPECT_EQ(line(expected.size()), expected);
    EXPECT_TRUE(portClosed());
  }
}

TEST_F(WindowE2E, AStackRunOfTwoFramesOfThreeStepsFiresTheControllerShutter) {
  controllerShot(f);
  runFields(f, "2", "3");
  connect();
  f.B_Procesar.click();
  EXPECT_EQ(line(14), "p" "rsabcp" "rsdabp" "p");
  EXPECT_EQ(rail->shots(), 2);
  EXPECT_EQ(rail->holds().size(), 2u);
  EXPECT_EQ(rail->position(), 6);
  EXPECT_EQ(f.Text2.text(), "6");
  EXPECT_EQ(f.Nfotos.text(), "2");
  EXPECT_EQ(rail->errors(), 0);
  EXPECT_TRUE(rig.boxes().empty());
}

}  // namespace
}  // namespace velmira::test
