// Connecting through the real serial port when the port cannot be had: the
// "Error!" box keeps its text, title and icon, its detail says the cause and
// the fix, and the window shows the usual failure state.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

constexpr const char* kRail = "velmira-sim-detail";

class FailureDetailE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Options o;
    o.portsDir = ports.path();
    o.name = kRail;
    rail.start(o);
    ASSERT_TRUE(rig.start());
    rig.messages.shown.clear();
  }
  void expectFailureState(const std::string& detailPart) {
    const auto& shown = rig.messages.shown;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Error!");
    EXPECT_EQ(shown[0].title, "velmira");
    EXPECT_EQ(shown[0].icon, platform::Icon::Critical);
    EXPECT_NE(shown[0].detail.find(detailPart), std::string::npos) << shown[0].detail;
    EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
    EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
    EXPECT_TRUE(f.ComboBoxCOM.enabled());
    EXPECT_TRUE(f.BuscarPuerto.enabled());
    EXPECT_FALSE(f.MSComm_Puerto_Serie.isOpen());
  }

  PortsDir ports;
  sim::Rail rail;
  Rig rig{{.portsDir = ports.path()}};
  Form_Principal& f = rig.form();
};

TEST_F(FailureDetailE2E, APortHeldByAnotherProgramIsBusyAndNothingIsSent) {
  int holder = ::open(rail.linkPath().c_str(), O_WRONLY | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  rig.connect(kRail);
  expectFailureState("ocupado por otro programa");
  ::close(holder);
  EXPECT_EQ(rail.bytes(), "");
  // Once the other program lets go, the same click connects.
  rig.messages.shown.clear();
  f.Command_CONECTAR.click();
  EXPECT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  EXPECT_TRUE(rail.waitForBytes(1, 5000));
  EXPECT_EQ(rail.bytes(), "p");
}

TEST_F(FailureDetailE2E, ARailUnpluggedAfterTheScanIsGone) {
  rail.stop();
  rig.connect(kRail);
  expectFailureState("ya no está conectado");
}

}  // namespace
}  // namespace velmira::test
