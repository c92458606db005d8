// The USB camera through the real libgphoto2, with our own driver standing
// in for the camera at the far end of the cable (test_camera.c): the
// program finds it, fires it and downloads its photos as it does a real
// camera's.  What a run does with the camera and its failures is in the
// scenarios (camera.scn).
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

TEST(UsbCamera, IsFoundFiredAndEachPhotoKeptWholeOrTheFailureToldByItsCause) {
  // Only the test driver: the library finds the test camera on its port as
  // it finds any camera on USB.
  setenv("CAMLIBS", VELMIRA_TEST_CAMERA, 1);
  setenv("IOLIBS", VELMIRA_TEST_CAMERA, 1);
  const std::tuple<const char*, Cause, std::vector<std::string>> cases[] = {
      // how the camera is steered: the cause of the end, the photos of each shot ("name bytes, ...")
      {"raw tamano=100000", Cause::None,
       {"foto-0001.jpg 100000, foto-0001.cr2 8192", "foto-0002.jpg 100000, foto-0002.cr2 8192"}},
      {"desaparece=1", Cause::Gone, {"foto-0001.jpg 4096", ""}},
      {"llena", Cause::Full, {""}},
      {"ocupada=9", Cause::Busy, {""}},
      {"reclamada", Cause::Claimed, {}},
      {"ausente", Cause::NotFound, {}},
  };
  for (const auto& [steering, cause, expected] : cases) {
    SCOPED_TRACE(steering);
    setenv("VELMIRA_CAMARA_PRUEBA", steering, 1);
    test::ScratchFolder folder{"velmira-camera-"};
    platform::GphotoCamera camera;
    std::vector<std::string> shots, reported;  // the files of each shot; all of them
    std::string serial;
    platform::Camera::Error e;
    if (auto found = camera.find(&e)) {
      EXPECT_EQ(found->model, "Velmira Prueba");
      EXPECT_EQ(found->port, "usb:001,042");
      if ((e = camera.open(&*found, &serial)).cause == Cause::None) {
        EXPECT_EQ(serial, "VP-0042");
      }
      for (int i = 1; i <= 2 && e.cause == Cause::None; ++i) {
        camera.startShot(folder.path(), "foto-000" + std::to_string(i));
        EXPECT_TRUE(test::pollUntil([&] { return camera.finished(); }, 10000));
        std::string files;
        for (const auto& file : camera.shot().files) {
          reported.push_back(file.name + " " + std::to_string(file.bytes));
          files += (files.empty() ? "" : ", ") + reported.back();
        }
        shots.push_back(files);
        e = camera.shot().error;
      }
      camera.close();
    }
    EXPECT_EQ(e.cause, cause);
    EXPECT_EQ(shots, expected);
    // Each file on disk is one the camera gave, whole, and nothing
    // half-written is left beside them; each is the photo of its frame.
    std::vector<std::string> kept;
    for (const std::string& name : folder.names())
      kept.push_back(name + " " + std::to_string(std::filesystem::file_size(folder / name)));
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(kept, reported);
    if (cause != Cause::None) continue;
    std::stringstream jpeg;
    jpeg << std::ifstream(folder / "foto-0002.jpg", std::ios::binary).rdbuf();
    EXPECT_EQ(jpeg.str().substr(0, 2) + jpeg.str().substr(jpeg.str().size() - 2), "\xFF\xD8\xFF\xD9");
    EXPECT_NE(jpeg.str().find("Velmira prueba IMG_0002.JPG"), std::string::npos);
  }
}

}  // namespace
}  // namespace velmira
