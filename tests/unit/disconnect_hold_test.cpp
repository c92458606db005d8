// DESCONECTAR pressed while a controller shot holds the shutter output ("r"
// sent, "s" not yet): the output is released before the motor goes off and
// the port closes.
#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

TEST(Disconnect, DuringAShotsHoldReleasesTheShutterFirst) {
  test::Rig rig;
  Form_Principal& f = rig.connectedPastReset();
  test::controllerShot(f);
  test::runFields(f, "2", "3", "0", "0");
  // The click waits out the 1000 ms hold and is handled at the event pass
  // between the photo's count and its "s".
  rig.events.at(rig.clock.nowMs() + 1000, [&] { f.Command_CONECTAR.click(); });
  f.B_Procesar.click();
  EXPECT_EQ(rig.line(), "prsp");
  EXPECT_FALSE(rig.serial.isOpen());
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
}

}  // namespace
}  // namespace velmira
