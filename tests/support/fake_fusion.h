// The fusion of a stack's frames, faked: it fuses nothing, and keeps what
// it was asked, with what the folder held at that moment (the photos, and
// whether the record had the run's end), so a test sees when it was asked.
// With `missing` it answers as the program does when the tools are not
// installed.
#pragma once

#include <string>
#include <vector>

#include "platform/stack_fusion.h"

namespace velmira::test {

struct Transcript;
class VirtualClock;

class FakeFusion : public platform::StackFusion {
 public:
  FakeFusion(Transcript& t, VirtualClock& c) : t_(t), clock_(c) {}
  std::optional<std::string> fuse(const std::string& folder) override;
  void giveWay(bool stepping) override;

  struct Asked {
    std::string folder;
    int photos = 0;      // foto-*.jpg in it
    bool ended = false;  // its record had the run's end
  };
  std::vector<Asked> asked;
  bool missing = false;  // the tools are not installed

 private:
  Transcript& t_;
  VirtualClock& clock_;
};

}  // namespace velmira::test
