// The USB camera through libgphoto2: found as the library finds any camera
// (the camera drivers and port drivers it loads, CAMLIBS and IOLIBS where
// the environment sets them), opened once per run, fired and read on a
// worker thread so that the window's thread only waits on its clock.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/platform.h"

struct _Camera;
struct _GPContext;
struct _CameraAbilitiesList;

namespace velmira::platform {

class GphotoCamera : public Camera {
 public:
  GphotoCamera();
  ~GphotoCamera() override;
  GphotoCamera(const GphotoCamera&) = delete;
  GphotoCamera& operator=(const GphotoCamera&) = delete;

  std::optional<Found> find(Error* error) override;
  Error open(Found* found, std::string* serial) override;
  void startShot(const std::string& folder, const std::string& stem) override;
  bool finished() override { return done_.load(); }
  Shot shot() override;
  void close() override;

  // How long a drain waits for one more event before the camera is taken
  // to have nothing more to say.
  int drainTimeoutMs = 100;

  // The cause of a library result, with the port the camera is on (to tell
  // a device the user may not open from one that fails).
  static Error errorOf(int result, const std::string& port, const std::string& said);

 private:
  void work(std::string folder, std::string stem);
  _CameraAbilitiesList* abilities();

  _GPContext* context_ = nullptr;
  _CameraAbilitiesList* abilities_ = nullptr;
  _Camera* camera_ = nullptr;
  std::string port_;
  std::thread worker_;
  std::atomic<bool> done_{true};
  Shot result_;
  std::mutex said_;        // the library's last error message, from any thread
  std::string lastError_;
  std::pair<std::mutex*, std::string*> target_{&said_, &lastError_};
};

}  // namespace velmira::platform
