// Fusing a stack: the frames aligned by align_image_stack and fused by
// enfuse, each tool at the lowest priority, into a work folder beside the
// results; the results take their names only once complete, so a
// cancelled or failed fusion leaves none half-written and the frames
// untouched.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/processes.h"
#include "stacking/frames.h"
#include "stacking/progress.h"
#include "stacking/recipe.h"

namespace velmira::stacking {

struct Job {
  Frames frames;
  std::string tif;  // where the 16-bit TIFF goes (empty: none)
  std::string jpg;  // where the JPEG goes (empty: none)
};

enum class Ending { Done, Failed, Cancelled, ToolsMissing };

struct Outcome {
  Ending ending = Ending::Failed;
  std::string message;  // why it failed, in Spanish (empty when done)
  std::vector<std::string> files;  // the results written
  std::string alignVersion, fuseVersion;
  std::vector<std::string> commands;  // each run of a tool, as run
  std::vector<long> peaksKb;          // the largest memory of each
  size_t frames = 0;
  int bitsPerSample = 16;
  int64_t elapsedMs = 0;
  long peakKb = 0;  // the largest memory of any of the tools' runs
};

// The texts shown where the tools are missing.
inline constexpr const char* kInstallHint = "sudo apt install hugin-tools enfuse";

// Stack `job` with the recipe.  `onProgress` is called on the calling
// thread whenever the progress moves; `cancel` stops the tools at once.
Outcome fuseStack(platform::Processes& processes, platform::Clock& clock, const Job& job, const Recipe& recipe,
                  const std::function<void(const Progress&)>& onProgress, const std::atomic<bool>& cancel);

// The tools that are not on PATH, in the order they run.
std::vector<std::string> missingTools(platform::Processes& processes);

}  // namespace velmira::stacking
