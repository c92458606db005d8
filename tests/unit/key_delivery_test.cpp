// What the key path says after the keys were sent: a key the desktop did
// not take is no photo, and what stops nothing does not hold the run.
#include <gtest/gtest.h>

#include "tests/unit/motion_support.h"

namespace velmira::test {
namespace {

using Strings = std::vector<std::string>;

class KeyDelivery : public MotionRig {
 protected:
  void SetUp() override {
    f.Disparo.setListIndex(0);
    f.Combo1.setListIndex(2);  // F8
    conectar();
    runFields(f, "2", "1", "0", "0");
  }
};

TEST_F(KeyDelivery, AKeyTheDesktopDidNotTakeCountsNoPhotoAndStopsTheRun) {
  f.Nfotos.setText("5");
  rig.keys.refused = "el portal de escritorio no ha aceptado la tecla (org.freedesktop.DBus.Error.AccessDenied)";
  f.B_Procesar.click();
  EXPECT_EQ(rig.messages.texts(), (Strings{"No se puede enviar la tecla de disparo: el portal de escritorio no ha "
                                           "aceptado la tecla (org.freedesktop.DBus.Error.AccessDenied)"}));
  EXPECT_EQ(f.Nfotos.text(), "5");
  EXPECT_EQ(f.Parada, 1.0f);
  EXPECT_EQ(rig.transcript.only("key ").size(), 2u) << "the second frame's key is not pressed";
  EXPECT_EQ(rig.line(), "p" "p" "p") << "no step after the failed shot";
}

TEST_F(KeyDelivery, ANoticeGoesToTheMessageFieldAndTheRunGoesOn) {
  rig.keys.note = "No se ha podido guardar el permiso del teclado en /x: el escritorio volverá a pedirlo.";
  f.B_Procesar.click();
  EXPECT_EQ(f.Text_Mensajes.text(), "No se ha podido guardar el permiso del teclado en /x: el escritorio volverá a pedirlo.");
  EXPECT_TRUE(rig.messages.texts().empty());
  EXPECT_EQ(f.Nfotos.text(), "2");
}

}  // namespace
}  // namespace velmira::test
