// The USB camera through the real libgphoto2, with our own camera and USB
// port drivers standing in for the camera at the far end of the cable
// (test_camlib.c, test_usb_port.c): the program finds it, fires it and
// downloads its photos as it does a real camera's.  What a run does with
// the camera and its failures is in the scenarios (camera.scn).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/gphoto_camera.h"
#include "tests/support/focus_bracket.h"
#include "tests/support/poll.h"

namespace velmira {
namespace {

using Cause = platform::Camera::Cause;

struct UsbCamera : ::testing::Test {
  UsbCamera() {
    // Only the test drivers: the library finds the test camera on its port
    // as it finds any camera on USB.
    setenv("CAMLIBS", VELMIRA_TEST_CAMLIBS, 1);
    setenv("IOLIBS", VELMIRA_TEST_IOLIBS, 1);
    setenv("VELMIRA_CAMARA_PRUEBA", steering.path().c_str(), 1);
  }
  void flag(const std::string& name, const std::string& value = "") { std::ofstream(steering / name) << value << "\n"; }
  // Finds and opens the camera, then takes `photos` photos; the first failure.
  platform::Camera::Error run(int photos) {
    platform::Camera::Error e;
    auto found = camera.find(&e);
    if (!found) return {Cause::NotFound, e.detail};
    EXPECT_EQ(found->model, "Velmira Prueba");
    EXPECT_EQ(found->port, "usb:001,042");
    if ((e = camera.open(&*found, &serial)).cause != Cause::None) return e;
    for (int i = 1; i <= photos && e.cause == Cause::None; ++i) {
      camera.startShot(photos_.path(), "foto-000" + std::to_string(i));
      EXPECT_TRUE(test::pollUntil([&] { return camera.finished(); }, 10000));
      std::string files;  // "name bytes, ..."
      for (const auto& file : camera.shot().files) files += (files.empty() ? "" : ", ") + file.name + " " + std::to_string(file.bytes);
      shots.push_back(files);
      e = camera.shot().error;
    }
    camera.close();
    return e;
  }
  test::ScratchFolder steering{"velmira-camera-"}, photos_;
  platform::GphotoCamera camera;
  std::string serial;
  std::vector<std::string> shots;
};

TEST_F(UsbCamera, IsFoundFiredAndEachPhotoWithItsRawKeptWhole) {
  flag("raw");
  flag("tamano", "100000");
  ASSERT_EQ(run(2).cause, Cause::None);
  EXPECT_EQ(serial, "VP-0042");
  EXPECT_EQ(shots, (std::vector<std::string>{"foto-0001.jpg 100000, foto-0001.cr2 8192",
                                             "foto-0002.jpg 100000, foto-0002.cr2 8192"}));
  // Each file is the camera's photo of that frame, whole, and nothing
  // half-written is left beside them.
  EXPECT_EQ(photos_.names(), (std::vector<std::string>{"foto-0001.cr2", "foto-0001.jpg", "foto-0002.cr2", "foto-0002.jpg"}));
  std::stringstream jpeg;
  jpeg << std::ifstream(photos_ / "foto-0002.jpg", std::ios::binary).rdbuf();
  EXPECT_EQ(jpeg.str().substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(jpeg.str().substr(jpeg.str().size() - 2), "\xFF\xD9");
  EXPECT_NE(jpeg.str().find("Velmira prueba IMG_0002.JPG"), std::string::npos);
}

TEST_F(UsbCamera, EachFailureIsToldByItsCauseAndThePhotosBeforeItAreKept) {
  const std::tuple<const char*, const char*, Cause, size_t> cases[] = {
      // the steering file, its number: the cause, the photos kept
      {"desaparece", "1", Cause::Gone, 1}, {"llena", "", Cause::Full, 0},       {"ocupada", "9", Cause::Busy, 0},
      {"reclamada", "", Cause::Claimed, 0}, {"ausente", "", Cause::NotFound, 0},
  };
  for (const auto& [name, value, cause, kept] : cases) {
    SCOPED_TRACE(name);
    for (const std::string& old : steering.names()) std::filesystem::remove(steering / old);
    flag(name, value);
    shots.clear();
    EXPECT_EQ(run(3).cause, cause);
    EXPECT_EQ(static_cast<size_t>(std::count_if(shots.begin(), shots.end(), [](auto& f) { return !f.empty(); })), kept);
  }
}

}  // namespace
}  // namespace velmira
