// The fusion of a stack's frames, faked: it fuses nothing, and writes into
// the transcript the folder it was asked with what the folder held at that
// moment ("fuse DIR 3 photos", " before the record's end" when the record
// had not the run's end yet).
// With `missing` it answers as the program does when the tools are not
// installed.
#pragma once

#include <string>

#include "platform/stack_fusion.h"

namespace velmira::test {

struct Transcript;
class VirtualClock;

class FakeFusion : public platform::StackFusion {
 public:
  FakeFusion(Transcript& t, VirtualClock& c) : t_(t), clock_(c) {}
  std::optional<std::string> fuse(const std::string& folder) override;
  void giveWay(bool stepping) override;

  bool missing = false;  // the tools are not installed

 private:
  Transcript& t_;
  VirtualClock& clock_;
};

}  // namespace velmira::test
