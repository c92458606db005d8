// The frames of a stack fused into one sharp picture in the background, as
// a USB camera's run ends (the program's implementation: qt/stack_fusion.*,
// over stacking/).
#pragma once

#include <optional>
#include <string>

namespace velmira::platform {

class StackFusion {
 public:
  virtual ~StackFusion() = default;
  // Starts fusing the frames of `folder` (after any stack still being
  // fused) and returns at once; the progress, the end and the record are
  // the fusion's own business.  Returns why it cannot start, in Spanish,
  // with how to mend it (the tools are not installed).
  virtual std::optional<std::string> fuse(const std::string& folder) = 0;
  // While the rail steps (`stepping`), the fusion gives way: its tools are
  // stopped, and go on when the steps end.  Even at the lowest priority
  // they slow the window's wake-ups on a machine of two cores.
  virtual void giveWay(bool stepping) = 0;
};

}  // namespace velmira::platform
