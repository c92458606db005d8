// The USB camera's mode and its stack run on the fake camera: what is shot
// when, the files and the record it leaves, and each way a camera fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "stack/camera_shot.h"
#include "tests/support/fake_platform.h"

namespace velmira::test {
namespace {

using Strings = std::vector<std::string>;
using Cause = platform::Camera::Cause;
namespace fs = std::filesystem;

class Camara : public ::testing::Test {
 protected:
  Rig rig{{.recordShown = true}};
  Form_Principal& f = rig.form();
  void conectar() {
    rig.connectedPastReset();
    rig.transcript.entries.clear();
  }
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void procesar(const char* frames = "2", const char* steps = "2") {
    if (f.Command_CONECTAR.caption() != "DESCONECTAR") conectar();
    f.Disparo.setListIndex(stack::kModoCamara);
    runFields(f, frames, steps, "1", "0");
    rig.transcript.entries.clear();
    rig.keys.prepared = 0;
    f.B_Procesar.click();
  }
  // What the camera, the line and the boxes saw, in order (no waits, no
  // position).
  Strings visto() const {
    Strings out;
    for (const std::string& e : rig.transcript.all())
      if (e.rfind("write", 0) == 0 || e.rfind("camera", 0) == 0 || e.rfind("box", 0) == 0 ||
          e.rfind("ask", 0) == 0 || e.rfind("Nfotos", 0) == 0)
        out.push_back(e);
    return out;
  }
  std::string carpeta() const { return rig.dir() + "/Imágenes/Velmira/2026-12-08_03-40-02"; }
  Strings archivos() const {
    Strings out;
    for (const auto& e : fs::directory_iterator(carpeta())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string leer(const std::string& name) const {
    std::ifstream in(carpeta() + "/" + name);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(Camara, TheModeHidesTheKeyAndMirrorGroupsAndSaysWhatItFound) {
  f.Disparo.setListIndex(stack::kModoCamara);
  for (Control* c : std::initializer_list<Control*>{&f.Label3, &f.Combo1, &f.EspL, &f.CheckEsp, &f.DLabel, &f.temEsp})
    EXPECT_FALSE(c->visible()) << c->name();
  EXPECT_EQ(f.Disparo.text(), "Cámara USB");
  EXPECT_EQ(f.Text_Mensajes.text(), "Cámara USB: Cámara de prueba");
  // Kept in a slot and chosen again by loading it.
  rig.camera.present = false;
  f.SalvarC_Click();
  f.Disparo.setListIndex(0);
  f.CargarC_Click();
  EXPECT_EQ(f.Disparo.listIndex(), stack::kModoCamara);
  EXPECT_EQ(f.Text_Mensajes.text(), stack::kSinCamara);
}

TEST_F(Camara, EachFrameShootsAtItsPhotoPointAndKeepsTheFileBeforeItCounts) {
  procesar();
  EXPECT_EQ(visto(), (Strings{"camera open", "camera shot foto-0001", "Nfotos=1", "write a", "write b", "write p",
                              "camera shot foto-0002", "Nfotos=2", "write c", "write d", "write p", "write p",
                              "camera close"}));
  EXPECT_EQ(archivos(), (Strings{"foto-0001.jpg", "foto-0002.jpg", "pila.json", "pila.txt"}));
  EXPECT_EQ(rig.desktop.folder, carpeta());
  EXPECT_EQ(rig.keys.prepared, 0);  // no key shot is coming
  const std::string json = leer("pila.json");
  EXPECT_NE(json.find("\"camara\": {\"modelo\": \"Cámara de prueba\", \"serie\": \"PRUEBA-0001\", "
                      "\"puerto\": \"usb:001,005\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"numero\": 2, \"posicion\": 2, \"hora\": \"2026-12-08T03:40:05.002+00:00\", "
                      "\"archivos\": [{\"nombre\": \"foto-0002.jpg\", \"bytes\": 21}]}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"final\": \"terminada\""), std::string::npos);
  EXPECT_NE(leer("pila.txt").find("2\t2\t2026-12-08T03:40:05.002+00:00\tfoto-0002.jpg (21 bytes)\n"),
            std::string::npos);
}

TEST_F(Camara, ABusyCameraIsAskedAgainForAboutTwoSecondsThenTheRunStops) {
  rig.camera.shotResults = {Cause::Busy, Cause::Busy, Cause::Busy, Cause::Busy};
  procesar("1");
  EXPECT_EQ(f.Nfotos.text(), "1");
  rig.camera.shotResults = {Cause::Busy, Cause::Busy, Cause::Busy, Cause::Busy, Cause::Busy};
  f.Nfotos.setText("0");
  procesar("1");
  const std::string causa = stack::Causa_Camara({Cause::Busy, {}});
  EXPECT_EQ(visto(), (Strings{"camera open", "camera shot foto-0001", "camera shot foto-0001",
                              "camera shot foto-0001", "camera shot foto-0001", "camera shot foto-0001",
                              "write p", "box " + causa, "write p", "write p", "camera close"}));
  EXPECT_EQ(f.Nfotos.text(), "0");
  EXPECT_EQ(f.Text_Mensajes.text(), causa);
  EXPECT_EQ(rig.desktop.run.back(), "ended camera failed frame=1/1 photos=0 took=" +
                                        rig.desktop.run.back().substr(rig.desktop.run.back().find("took=") + 5));
}

TEST_F(Camara, ACameraThatGoesAwayStopsTheRunAndKeepsWhatWasDownloaded) {
  rig.camera.shotResults = {Cause::None, Cause::Gone};
  procesar("3");
  const std::string causa = stack::Causa_Camara({Cause::Gone, {}});
  EXPECT_EQ(visto(), (Strings{"camera open", "camera shot foto-0001", "Nfotos=1", "write a", "write b", "write p",
                              "camera shot foto-0002", "write p", "box " + causa, "write p", "write p",
                              "camera close"}));
  EXPECT_EQ(archivos(), (Strings{"foto-0001.jpg", "pila.json", "pila.txt"}));
  EXPECT_EQ(rig.messages.shown.back().detail, "Las fotos ya descargadas están en " + carpeta() + ".");
  EXPECT_NE(leer("pila.json").find("\"final\": \"detenida: " + causa + "\""), std::string::npos);
  EXPECT_NE(leer("pila.txt").find("Fotos: 1\nFinal: detenida: " + causa), std::string::npos);
}

TEST_F(Camara, ACameraHeldByAnotherProgramIsOfferedAgainAndNoCameraStopsTheRunBeforeItMoves) {
  rig.camera.openResults = {Cause::Claimed};
  rig.messages.retryAnswers = {true};
  procesar("1");
  const std::string causa = stack::Causa_Camara({Cause::Claimed, {}});
  EXPECT_NE(causa.find("gio mount -s gphoto2"), std::string::npos);
  EXPECT_EQ(visto(), (Strings{"camera open", "ask " + causa, "camera open", "camera shot foto-0001", "Nfotos=1",
                              "write a", "write b", "write p", "write p", "camera close"}));
  rig.camera.present = false;
  procesar("1");
  EXPECT_EQ(visto(), (Strings{"write p", "box " + stack::Causa_Camara({Cause::NotFound, {}}), "write p"}));
}

TEST_F(Camara, AStopDuringTheShotActsOnceThePhotoIsSafe) {
  conectar();
  rig.events.at(rig.clock.nowMs() + 1500, [&] { f.AbortarP.click(); });
  f.Disparo.setListIndex(stack::kModoCamara);
  runFields(f, "3", "2", "1", "0");
  rig.transcript.entries.clear();
  f.B_Procesar.click();
  EXPECT_EQ(visto(), (Strings{"camera open", "camera shot foto-0001", "Nfotos=1", "write p", "write p", "write p",
                              "camera close"}));
  EXPECT_EQ(archivos(), (Strings{"foto-0001.jpg", "pila.json", "pila.txt"}));
  EXPECT_NE(leer("pila.json").find("\"final\": \"detenida por el usuario\""), std::string::npos);
}

TEST_F(Camara, ARawAndAJpegShareTheirNumber) {
  rig.camera.rawToo = true;
  procesar("1");
  EXPECT_EQ(archivos(), (Strings{"foto-0001.cr2", "foto-0001.jpg", "pila.json", "pila.txt"}));
}

}  // namespace
}  // namespace velmira::test
