// The runs of the tools that fuse a stack, in order.
#pragma once

#include <string>
#include <vector>

#include "stacking/picture_header.h"
#include "stacking/recipe.h"

namespace velmira::stacking {

enum class Stage { Aligning, Fusing, Saving };

struct Invocation {
  Stage stage;
  std::string tool;  // "align_image_stack" or "enfuse"
  std::vector<std::string> args;
  size_t inputs = 0;  // pictures it reads
};

// The aligned frames go to `work` (a folder of the plan's own, removed
// afterwards); the fused picture is `work`/apilada.tif and, when `jpeg`,
// `work`/apilada.jpg.
std::vector<Invocation> planStack(const std::vector<std::string>& frames, const PictureInfo& info,
                                  const std::string& work, const Recipe& recipe, bool jpeg);

// How many pictures of `info`'s size one run of enfuse may fuse within the
// recipe's memory (at least 2).
size_t picturesPerFusion(const PictureInfo& info, bool sixteenBits, const Recipe& recipe);

// The files the plan leaves in `work`.
std::string workTif(const std::string& work);
std::string workJpg(const std::string& work);

// One invocation as a shell would show it (the record, the messages).
std::string commandLine(const Invocation& invocation);

}  // namespace velmira::stacking
