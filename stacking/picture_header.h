// The size and depth of a picture read from the first bytes of its file
// (JPEG, PNG, TIFF), without decoding it.
#pragma once

#include <optional>
#include <string>

namespace velmira::stacking {

struct PictureInfo {
  int width = 0;
  int height = 0;
  int bitsPerSample = 8;
};

// Nothing when the bytes are no picture of those kinds (or cut too early).
std::optional<PictureInfo> readPictureHeader(const std::string& bytes);

}  // namespace velmira::stacking
