// A USB camera on the virtual clock: each shot takes `shotMs` of virtual
// time and writes a small JPEG where the window asks; a test scripts what
// the next opens and shots do.  Every call goes into the transcript
// ("camera open", "camera shot foto-0001", "camera close").
#pragma once

#include <deque>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace velmira::test {

struct Transcript;
class VirtualClock;

class FakeCamera : public platform::Camera {
 public:
  FakeCamera(Transcript& t, VirtualClock& c) : t_(t), clock_(c) {}
  std::optional<Found> find(Error* error) override;
  Error open(Found* found, std::string* serial) override;
  void startShot(const std::string& folder, const std::string& stem) override;
  bool finished() override;
  Shot shot() override;
  void close() override;

  bool present = true;
  Found found{"Cámara de prueba", "usb:001,005"};
  std::string serial = "PRUEBA-0001";
  int64_t shotMs = 1000;
  bool rawToo = false;                // a RAW beside each JPEG
  std::deque<Cause> openResults;      // what the next opens give (then None)
  std::deque<Cause> shotResults;      // what the next shots give (then None)
  bool isOpen = false;

 private:
  Transcript& t_;
  VirtualClock& clock_;
  int64_t doneAt_ = 0;
  Shot result_;
};

}  // namespace velmira::test
