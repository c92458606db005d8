#include "stacking/plan.h"

#include <algorithm>
#include <cstdio>

namespace velmira::stacking {

namespace {

std::string numbered(const std::string& work, const char* prefix, size_t i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%04zu.tif", prefix, i);
  return work + "/" + buf;
}

Invocation fuse(const Recipe& recipe, std::vector<std::string> inputs, const std::string& output) {
  Invocation inv{Stage::Fusing, "enfuse", {"-v"}, inputs.size()};
  inv.args.insert(inv.args.end(), recipe.fuse.begin(), recipe.fuse.end());
  // 16 bits per channel: the blend keeps its precision even from 8-bit frames.
  inv.args.insert(inv.args.end(), {"--depth=16", "--compression=deflate", "-o", output});
  inv.args.insert(inv.args.end(), inputs.begin(), inputs.end());
  return inv;
}

}  // namespace

std::string workTif(const std::string& work) { return work + "/apilada.tif"; }
std::string workJpg(const std::string& work) { return work + "/apilada.jpg"; }

size_t picturesPerFusion(const PictureInfo& info, bool sixteenBits, const Recipe& recipe) {
  if (recipe.fuseBatch) return std::max<size_t>(2, recipe.fuseBatch);
  // enfuse as measured (bench/stacking_bench): about 20 bytes a pixel for
  // its pyramids and result, and 8 more per 8-bit picture, 14 per 16-bit one.
  const double pixels = static_cast<double>(info.width) * info.height;
  const double budget = static_cast<double>(recipe.memoryMb) * 1024 * 1024 - 20 * pixels;
  const double each = (sixteenBits || info.bitsPerSample > 8 ? 14 : 8) * pixels;
  return std::max<size_t>(2, budget > 0 ? static_cast<size_t>(budget / each) : 0);
}

std::vector<Invocation> planStack(const std::vector<std::string>& frames, const PictureInfo& info,
                                  const std::string& work, const Recipe& recipe, bool jpeg) {
  std::vector<Invocation> plan;
  std::vector<std::string> inputs;
  if (!recipe.alignFrames) {
    inputs = frames;
  } else {
    Invocation align{Stage::Aligning, "align_image_stack", {"-v"}, frames.size()};
    align.args.insert(align.args.end(), recipe.align.begin(), recipe.align.end());
    align.args.insert(align.args.end(), {"-a", work + "/alineada_"});
    align.args.insert(align.args.end(), frames.begin(), frames.end());
    plan.push_back(align);
    for (size_t i = 0; i < frames.size(); ++i) inputs.push_back(numbered(work, "alineada_", i));
  }
  // Groups of about equal size, each fused on its own, then their results
  // (16-bit pictures) the same way, until one run can fuse them all.
  bool sixteen = false;
  size_t next = 0;
  for (;;) {
    const size_t batch = picturesPerFusion(info, sixteen, recipe);
    if (inputs.size() <= batch) break;
    const size_t groups = (inputs.size() + batch - 1) / batch;
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t g = 0; g < groups; ++g) {
      const size_t to = inputs.size() * (g + 1) / groups;
      parts.push_back(numbered(work, "grupo_", next++));
      plan.push_back(fuse(recipe, {inputs.begin() + static_cast<std::ptrdiff_t>(from),
                                   inputs.begin() + static_cast<std::ptrdiff_t>(to)},
                          parts.back()));
      from = to;
    }
    inputs = std::move(parts);
    sixteen = true;
  }
  plan.push_back(fuse(recipe, inputs, workTif(work)));
  if (jpeg)
    // enfuse given one picture writes it unchanged: here, as a JPEG.
    plan.push_back({Stage::Saving, "enfuse", {"-v", "--depth=8", "--compression=95", "-o", workJpg(work),
                                              workTif(work)}, 1});
  return plan;
}

std::string commandLine(const Invocation& invocation) {
  std::string line = invocation.tool;
  for (const std::string& a : invocation.args) {
    const bool plain = a.find_first_of(" '\"\\$`") == std::string::npos && !a.empty();
    line += " " + (plain ? a : "'" + a + "'");
  }
  return line;
}

}  // namespace velmira::stacking
