// How the frames are aligned and fused: the options of align_image_stack and
// enfuse, chosen by measurement on synthetic focus brackets
// (bench/stacking_bench prints the scores of the alternatives).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmira::stacking {

struct Recipe {
  // align_image_stack: the magnification from frame to frame corrected
  // (-m, focus breathing), the frames kept in the order they were taken,
  // the result cut to the area every frame covers (-C).
  std::vector<std::string> align{"-m", "-C", "--use-given-order"};
  // enfuse: each pixel from the frame where it is sharpest (contrast only,
  // a hard mask: a soft one averages the sharp frame with blurred ones).
  std::vector<std::string> fuse{"--exposure-weight=0", "--saturation-weight=0", "--contrast-weight=1",
                                "--hard-mask"};
  // enfuse's memory grows with the frames it fuses at once: a stack that
  // would need more than `memoryMb` in one run is fused in groups, and the
  // groups' results in turn (in groups again if need be).  `fuseBatch`,
  // when not 0, sets the frames per run instead.
  size_t memoryMb = 1536;
  size_t fuseBatch = 0;
  // Frames fused as they are, not aligned first (for comparison only: the
  // slightest shift between frames shows as ghosts).
  bool alignFrames = true;
};

}  // namespace velmira::stacking
