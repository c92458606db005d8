// The USB camera through the real libgphoto2, with our own camera and USB
// port drivers standing in for the camera at the far end of the cable
// (test_camlib.c, test_usb_port.c): the program finds it, fires it and
// downloads its photos as it does a real camera's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/gphoto_camera.h"
#include "stack/camera_shot.h"
#include "tests/support/fake_platform.h"

namespace velmira::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Cause = platform::Camera::Cause;

std::string leer(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CamaraUsb : public ::testing::Test {
 protected:
  CamaraUsb() {
    // Only the test drivers: the library finds the test camera on its port
    // as it finds any camera on USB.
    setenv("CAMLIBS", VELMIRA_TEST_CAMLIBS, 1);
    setenv("IOLIBS", VELMIRA_TEST_IOLIBS, 1);
    setenv("VELMIRA_CAMARA_PRUEBA", rig.dir().c_str(), 1);
    rig.platform.camera = &camera;
  }
  void flag(const std::string& name, const std::string& value = "") {
    std::ofstream(rig.dir() + "/" + name) << value << "\n";
  }
  // Connects (once), chooses the mode and runs `frames` frames of 2 steps.
  void procesar(const char* frames) {
    if (f.Command_CONECTAR.caption() != "DESCONECTAR") rig.connect();
    f.Disparo.setListIndex(stack::kModoCamara);
    runFields(f, frames, "2", "0", "0");
    f.B_Procesar.click();
  }
  fs::path carpeta() const { return rig.desktop.folder; }
  Strings archivos() const {
    Strings out;
    for (const auto& e : fs::directory_iterator(carpeta())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  Rig rig{{.realTime = true}};
  platform::GphotoCamera camera;
  Form_Principal& f = rig.form();
};

TEST_F(CamaraUsb, TheCameraIsFoundFiredAndEachPhotoKeptInOrder) {
  flag("raw");
  flag("tamano", "100000");
  f.Disparo.setListIndex(stack::kModoCamara);
  EXPECT_EQ(f.Text_Mensajes.text(), "Cámara USB: Velmira Prueba");
  procesar("3");
  EXPECT_EQ(rig.line(), "p" "abp" "cdp" "abp" "p");
  EXPECT_EQ(f.Nfotos.text(), "3");
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(archivos(), (Strings{"foto-0001.cr2", "foto-0001.jpg", "foto-0002.cr2", "foto-0002.jpg",
                                 "foto-0003.cr2", "foto-0003.jpg", "pila.json", "pila.txt"}));
  // Each file is the camera's photo of that frame, whole.
  const std::string jpeg = leer(carpeta() / "foto-0002.jpg");
  ASSERT_EQ(jpeg.size(), 100000u);
  EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
  EXPECT_NE(jpeg.find("Velmira prueba IMG_0002.JPG"), std::string::npos);
  const std::string json = leer(carpeta() / "pila.json");
  EXPECT_NE(json.find("\"camara\": {\"modelo\": \"Velmira Prueba\", \"serie\": \"VP-0042\", \"puerto\": "
                      "\"usb:001,042\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"numero\": 3, \"posicion\": 4, "), std::string::npos);
  EXPECT_NE(json.find("\"archivos\": [{\"nombre\": \"foto-0003.jpg\", \"bytes\": 100000}, "
                      "{\"nombre\": \"foto-0003.cr2\", \"bytes\": 8192}]"),
            std::string::npos);
  EXPECT_NE(json.find("\"final\": \"terminada\""), std::string::npos);
  // Nothing half-written is left beside them.
  for (const std::string& name : archivos()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST_F(CamaraUsb, EachFailureOfTheCameraStopsTheRunWithItsCauseAndKeepsThePhotosTaken) {
  struct Case {
    const char* flag;
    const char* value;
    Cause cause;
    const char* fotos;
    const char* linea;  // after the run's start
  };
  // A failure at a frame's shot: the stop's "p", the frame's, the run's.
  // At the run's start (the camera cannot be opened): no frame is run.
  rig.connect();
  for (Case c : {Case{"desaparece", "1", Cause::Gone, "1", "abp" "ppp"}, Case{"llena", "", Cause::Full, "0", "ppp"},
                 Case{"ocupada", "9", Cause::Busy, "0", "ppp"}, Case{"reclamada", "", Cause::Claimed, "0", "pp"}}) {
    SCOPED_TRACE(c.flag);
    for (const char* old : {"desaparece", "llena", "ocupada", "reclamada"}) fs::remove(rig.dir() + "/" + old);
    flag(c.flag, c.value);
    f.Nfotos.setText("0");
    rig.messages.shown.clear();
    const size_t antes = rig.line().size();
    procesar("3");
    const std::string causa = stack::Causa_Camara({c.cause, {}});
    ASSERT_FALSE(rig.messages.shown.empty());
    EXPECT_EQ(rig.messages.shown.back().text, causa);
    EXPECT_EQ(f.Text_Mensajes.text(), causa);
    EXPECT_EQ(f.Nfotos.text(), c.fotos);
    EXPECT_EQ(rig.line().substr(antes), c.linea);
  }
}

}  // namespace
}  // namespace velmira::test
