#include "stacking/progress.h"

#include <algorithm>
#include <cstdio>

namespace velmira::stacking {

namespace {

// The share of the time spent aligning, as measured on brackets of 8 to 50
// frames (bench/stacking_bench): a little more than half of it.
constexpr double kAlignShare = 0.55;

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::string stageName(Stage stage) {
  switch (stage) {
    case Stage::Aligning: return "Alineando";
    case Stage::Fusing: return "Fusionando";
    case Stage::Saving: return "Guardando";
  }
  return {};
}

ProgressTracker::ProgressTracker(const std::vector<Invocation>& plan, int64_t startMs)
    : plan_(plan), startMs_(startMs) {
  double fuseInputs = 0;
  for (const Invocation& inv : plan_)
    if (inv.stage != Stage::Aligning) fuseInputs += static_cast<double>(inv.inputs);
  for (const Invocation& inv : plan_) {
    if (inv.stage == Stage::Aligning) weight_.push_back(kAlignShare);
    else weight_.push_back((1 - kAlignShare) * static_cast<double>(inv.inputs) / std::max(1.0, fuseInputs));
  }
  // Where each fusion of frames starts in the stack; nothing for the fusion
  // of the groups' results and for the JPEG.
  size_t frames = 0;
  for (const Invocation& inv : plan_) {
    if (inv.stage == Stage::Fusing && frames < plan_.front().inputs) {
      offset_.push_back(frames);
      frames += inv.inputs;
    } else {
      offset_.push_back(inv.stage == Stage::Aligning ? std::optional<size_t>(0) : std::nullopt);
    }
  }

}

double ProgressTracker::units(size_t index) const {
  const double n = static_cast<double>(plan_[index].inputs);
  // align_image_stack: one pair of frames matched, then one frame remapped,
  // at a time; enfuse: one picture loaded, then one blended, at a time.
  return plan_[index].stage == Stage::Aligning ? std::max(1.0, 2 * n - 1) : 2 * n;
}

void ProgressTracker::begin(size_t index) {
  doneBefore_ = 0;
  for (size_t i = 0; i < index && i < weight_.size(); ++i) doneBefore_ += weight_[i];
  index_ = index;
  doneHere_ = 0;
  frame_ = plan_[index].stage == Stage::Aligning ? 1 : 0;
}

bool ProgressTracker::line(const std::string& text) {
  if (index_ >= plan_.size()) return false;
  const Invocation& inv = plan_[index_];
  bool moved = false;
  if (inv.stage == Stage::Aligning) {
    if (startsWith(text, "Creating control points between ")) {
      frame_ = std::min(inv.inputs, frame_ + (doneHere_ > 0 ? 1 : 0));
      doneHere_ += 1;
      moved = true;
    } else if (startsWith(text, "remapping ")) {
      // the pairs are done: the remapping counts the frames again
      const double pairs = static_cast<double>(inv.inputs) - 1;
      if (doneHere_ < pairs) doneHere_ = pairs;
      doneHere_ += 1;
      frame_ = static_cast<size_t>(doneHere_ - pairs);
      moved = true;
    }
  } else if (text.find("loading next image") != std::string::npos) {
    doneHere_ += 1;
    frame_ = std::min(inv.inputs, static_cast<size_t>(doneHere_));
    moved = true;
  } else if (text.find("generating Laplacian pyramid") != std::string::npos) {
    doneHere_ += 1;
    frame_ = std::min(inv.inputs, static_cast<size_t>(doneHere_ - static_cast<double>(inv.inputs)));
    moved = true;
  }
  doneHere_ = std::min(doneHere_, units(index_));
  return moved;
}

Progress ProgressTracker::at(int64_t nowMs) const {
  Progress p;
  if (plan_.empty()) return p;
  const size_t index = std::min(index_, plan_.size() - 1);
  const Invocation& inv = plan_[index];
  p.stage = inv.stage;
  // Frames in the whole stack: the aligner's count, for every stage.
  p.frames = plan_.front().inputs;
  if (inv.stage == Stage::Aligning) {
    p.frame = std::max<size_t>(1, frame_);
  } else if (!offset_[index]) {
    p.frame = p.frames;  // the groups fused together, the JPEG written
  } else {
    p.frame = std::min(p.frames, *offset_[index] + std::max<size_t>(1, frame_));
  }
  p.fraction = std::clamp(doneBefore_ + weight_[index] * doneHere_ / units(index), 0.0, 1.0);
  const int64_t elapsed = nowMs - startMs_;
  // Told once a little of the work shows the pace.
  if (p.fraction >= 0.05 && elapsed > 0)
    p.leftMs = static_cast<int64_t>(static_cast<double>(elapsed) * (1 - p.fraction) / p.fraction);
  return p;
}

std::string progressBar(const Progress& p, int width) {
  const int filled = static_cast<int>(p.fraction * width + 0.5);
  std::string bar = stageName(p.stage);
  bar.resize(11, ' ');
  bar += "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.') + "]";
  char buf[96];
  std::snprintf(buf, sizeof buf, " %3d %%  foto %zu de %zu", static_cast<int>(p.fraction * 100), p.frame, p.frames);
  bar += buf;
  if (p.leftMs) {
    const int64_t s = (*p.leftMs + 999) / 1000;
    std::snprintf(buf, sizeof buf, "  quedan %lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    bar += buf;
  }
  return bar;
}

}  // namespace velmira::stacking
