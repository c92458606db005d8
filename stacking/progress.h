// Where a fusion is, read from the tools' verbose output: the stage, the
// frame, the share done and the time left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stacking/plan.h"

namespace velmira::stacking {

struct Progress {
  Stage stage = Stage::Aligning;
  size_t frame = 0;   // the frame being worked on, from 1
  size_t frames = 0;  // of how many
  double fraction = 0;               // of the whole fusion, 0 to 1
  std::optional<int64_t> leftMs;     // once it can be told
};

// "Alineando", "Fusionando", "Guardando".
std::string stageName(Stage stage);

// Follows the plan's invocations one after the other.
class ProgressTracker {
 public:
  ProgressTracker(const std::vector<Invocation>& plan, int64_t startMs);
  // The invocation `index` of the plan starts.
  void begin(size_t index);
  // A line of its output; true when the progress moved.
  bool line(const std::string& text);
  Progress at(int64_t nowMs) const;

 private:
  double units(size_t index) const;
  std::vector<Invocation> plan_;
  std::vector<double> weight_;  // of each invocation in the whole
  std::vector<std::optional<size_t>> offset_;
  size_t index_ = 0;
  double doneBefore_ = 0;  // the invocations already ended
  double doneHere_ = 0;    // units of the current one
  size_t frame_ = 0;
  int64_t startMs_;
};

// The terminal's line: "Alineando  [#####.....]  42 %  foto 3 de 8  quedan 0:12".
std::string progressBar(const Progress& progress, int width);

}  // namespace velmira::stacking
