// A 200-frame stack run in "Cámara USB" mode through the real libgphoto2
// and the test camera (tests/camera), which answers at once: what Velmira
// adds to each frame beyond the camera's own time (from the shot's start
// to the photo whole on disk, and the whole frame with its record), and
// the peak memory of the run.
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include "bench/figures.h"
#include "platform/gphoto_camera.h"
#include "stack/camera_shot.h"

using namespace velmira;

namespace {

// The camera, with the time each shot took from its start to its photo on
// the disk.
class Timed : public platform::Camera {
 public:
  std::optional<Found> find(Error* e) override { return real.find(e); }
  Error open(Found* f, std::string* s) override { return real.open(f, s); }
  void startShot(const std::string& folder, const std::string& stem) override {
    from_ = platform::monotonicMs();
    real.startShot(folder, stem);
  }
  bool finished() override { return real.finished(); }
  Shot shot() override {
    Shot s = real.shot();
    shots.push_back(platform::monotonicMs() - from_);
    return s;
  }
  void close() override { real.close(); }
  platform::GphotoCamera real;
  std::vector<double> shots;

 private:
  double from_ = 0;
};

long peakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main() {
  constexpr int kFrames = 200, kBytes = 2'000'000;
  setenv("CAMLIBS", VELMIRA_TEST_CAMERA, 1);
  setenv("IOLIBS", VELMIRA_TEST_CAMERA, 1);
  setenv("VELMIRA_CAMARA_PRUEBA", ("tamano=" + std::to_string(kBytes)).c_str(), 1);
  test::Rig rig{{.realTime = true}};
  Timed camera;
  rig.platform.camera = &camera;
  rig.connect();
  Form_Principal& f = rig.form();
  // The board's reset after the connect is not the run's.
  rig.steady.sleepMs(1600);
  f.Disparo.setListIndex(stack::kModoCamara);
  test::runFields(f, std::to_string(kFrames).c_str(), "1", "0", "0");
  const long before = peakKb();
  const double from = platform::monotonicMs();
  f.B_Procesar.click();
  const double took = platform::monotonicMs() - from;
  std::printf("Stack run with the USB camera: %d frames, 1 step each, T.A.F. 0, T.P.F. 0, %d-byte JPEGs,\n"
              "the test camera answering at once (real libgphoto2)\n",
              kFrames, kBytes);
  std::printf("  photos kept          %10s\n", f.Nfotos.text().c_str());
  std::printf("  shot to file on disk %10.2f ms median, %.2f ms p99\n", bench::percentile(camera.shots, 0.5),
              bench::percentile(camera.shots, 0.99));
  std::printf("  whole frame          %10.2f ms (with its step, \"p\" and the record)\n", took / kFrames);
  std::printf("  peak memory          %10ld KB (%ld KB before the run)\n", peakKb(), before);
  std::filesystem::remove_all(rig.desktop.folder);
  return 0;
}
