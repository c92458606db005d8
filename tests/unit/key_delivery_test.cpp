// What the key path says after the keys were sent: a key the desktop did
// not take is no photo, and what stops nothing does not hold the run.
#include <gtest/gtest.h>

#include <utility>

#include "tests/support/fake_platform.h"

namespace velmira::test {
namespace {

using Strings = std::vector<std::string>;

// Keys that always have a path; the desktop may refuse them or have a
// notice, each given once.
class TellingKeys : public platform::KeySynth {
 public:
  std::optional<std::string> unavailableReason() override { return std::nullopt; }
  void keyEvent(uint8_t, uint8_t, uint32_t, uintptr_t) override { ++events; }
  std::optional<std::string> failure() override { return std::exchange(refused, std::nullopt); }
  std::optional<std::string> notice() override { return std::exchange(note, std::nullopt); }
  int events = 0;
  std::optional<std::string> refused, note;
};

class KeyDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    f.Disparo.setListIndex(0);
    f.Combo1.setListIndex(2);  // F8
    rig.connectedPastReset();
    runFields(f, "2", "1", "0", "0");
  }
  TellingKeys keys;
  Rig rig{{.keys = &keys}};
  Form_Principal& f = rig.form();
};

TEST_F(KeyDelivery, AKeyTheDesktopDidNotTakeCountsNoPhotoAndStopsTheRun) {
  f.Nfotos.setText("5");
  keys.refused = "el portal de escritorio no ha aceptado la tecla (org.freedesktop.DBus.Error.AccessDenied)";
  f.B_Procesar.click();
  EXPECT_EQ(rig.messages.texts(), (Strings{"No se puede enviar la tecla de disparo: el portal de escritorio no ha "
                                           "aceptado la tecla (org.freedesktop.DBus.Error.AccessDenied)"}));
  EXPECT_EQ(f.Nfotos.text(), "5");
  EXPECT_EQ(f.Parada, 1.0f);
  EXPECT_EQ(keys.events, 2) << "the second frame's key is not pressed";
  EXPECT_EQ(rig.line().find_first_of("abcd"), std::string::npos) << "no step after the failed shot";
}

TEST_F(KeyDelivery, ANoticeGoesToTheMessageFieldAndTheRunGoesOn) {
  keys.note = "No se ha podido guardar el permiso del teclado en /x: el escritorio volverá a pedirlo.";
  f.B_Procesar.click();
  EXPECT_EQ(f.Text_Mensajes.text(), "No se ha podido guardar el permiso del teclado en /x: el escritorio volverá a pedirlo.");
  EXPECT_TRUE(rig.messages.texts().empty());
  EXPECT_EQ(f.Nfotos.text(), "2");
}

}  // namespace
}  // namespace velmira::test
