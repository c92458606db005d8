// The frames of a stack: the pictures of a folder that the fusing tools can
// read, in the order of their names, all of one size.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stacking/picture_header.h"

namespace velmira::stacking {

struct Frames {
  std::vector<std::string> paths;  // in the order of their names
  PictureInfo info;                // of every one of them
};

// The frames of `folder`: the files named *.jpg, *.jpeg, *.tif, *.tiff or
// *.png (in any case), but the results of an earlier fusion.  A folder that
// cannot be read, holds none, or holds one that cannot be read or is not of
// the first one's size gives the reason instead, in Spanish.
struct FrameScan {
  Frames frames;
  std::optional<std::string> problem;
};
FrameScan scanFolder(const std::string& folder);

// A file name's letters A-Z in lower case (extensions are compared so).
std::string lowerAscii(std::string s);

// Size and depth of one picture file, read from its beginning.
std::optional<PictureInfo> readPictureFile(const std::string& path);

// The names of the results in the stack's folder.
inline constexpr const char* kResultTif = "apilada.tif";
inline constexpr const char* kResultJpg = "apilada.jpg";

}  // namespace velmira::stacking
