// The fusion of a synthetic focus bracket by the real tools: the recipes
// compared by their score against the all-in-focus truth and their time,
// and the time and peak memory of the chosen one as the frames grow.
//   bench_stacking_bench              recipes on 12 frames of 800x600, then the cost
//   bench_stacking_bench --grande     also 12 frames of 6000x4000 (minutes, a few GB of disk)
//   bench_stacking_bench --solo-coste the cost only
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix_processes.h"
#include "platform/steady_clock.h"
#include "stacking/frames.h"
#include "stacking/stacker.h"
#include "tests/support/focus_bracket.h"

namespace fs = std::filesystem;
using namespace velmira;

namespace {

struct Named {
  const char* name;
  stacking::Recipe recipe;
};

stacking::Recipe with(std::vector<std::string> align, std::vector<std::string> fuse, size_t batch = 0) {
  stacking::Recipe r;
  if (!align.empty()) r.align = std::move(align);
  if (!fuse.empty()) r.fuse = std::move(fuse);
  r.fuseBatch = batch;
  return r;
}

const std::vector<std::string> kHard{"--exposure-weight=0", "--saturation-weight=0", "--contrast-weight=1",
                                     "--hard-mask"};

std::vector<std::string> plus(std::vector<std::string> base, const std::vector<std::string>& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

struct Run {
  stacking::Outcome outcome;
  std::optional<test::Score> score;
};

// The first `frames` of the folder (0: all).
Run fuse(const std::string& folder, const test::Rgb8* truth, const stacking::Recipe& recipe, size_t frames = 0) {
  platform::PosixProcesses processes;
  platform::SteadyClock clock;
  std::atomic<bool> cancel{false};
  stacking::Job job;
  job.frames = stacking::scanFolder(folder).frames;
  if (frames) job.frames.paths.resize(frames);
  job.jpg = folder + "/apilada.jpg";
  Run run;
  run.outcome = stacking::fuseStack(processes, clock, job, recipe, nullptr, cancel);
  if (truth && run.outcome.ending == stacking::Ending::Done)
    if (auto pic = test::readJpeg(job.jpg)) run.score = test::scorePicture(*pic, *truth);
  fs::remove(job.jpg);
  return run;
}

void printScore(const char* name, const test::Score& s, double seconds) {
  std::printf("%-34s %6.2f %6.2f %6.2f %7.2f %8.2f %7.1f\n", name, s.minRatio, s.medianRatio, s.maxRatio, s.maxShift,
              s.maxResidual, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
  bool large = false, costOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--grande")) large = true;
    if (!std::strcmp(argv[i], "--solo-coste")) costOnly = true;
  }
  const fs::path base = fs::temp_directory_path() / ("velmira-stacking-bench-" + std::to_string(getpid()));
  fs::create_directories(base);
  platform::PosixProcesses processes;
  if (!stacking::missingTools(processes).empty()) {
    std::printf("align_image_stack or enfuse missing: %s\n", stacking::kInstallHint);
    return 1;
  }

  if (!costOnly) {
    const std::string folder = (base / "800x600").string();
    fs::create_directories(folder);
    const test::Rgb8 truth = test::writeBracket(folder, {});
    std::printf("12 frames of 800x600: local sharpness against the truth, tile by tile\n");
    std::printf("%-34s %6s %6s %6s %7s %8s %7s\n", "recipe", "worst", "median", "best", "shift", "residual",
                "seconds");
    test::Score bestSingle;
    for (const std::string& f : stacking::scanFolder(folder).frames.paths) {
      test::Score s = test::scorePicture(*test::readJpeg(f), truth);
      if (s.medianRatio > bestSingle.medianRatio) bestSingle = s;
    }
    printScore("best single frame", bestSingle, 0);
    const std::vector<std::string> align{"-m", "-C", "--use-given-order"};
    stacking::Recipe unaligned = with(align, kHard);
    unaligned.alignFrames = false;
    const std::vector<Named> recipes{
        {"chosen", stacking::Recipe{}},
        {"soft mask", with(align, {"--exposure-weight=0", "--saturation-weight=0", "--contrast-weight=1"})},
        {"not aligned", unaligned},
        {"aligned without -m", with({"-C", "--use-given-order"}, kHard)},
        {"window 3", with(align, plus(kHard, {"--contrast-window-size=3"}))},
        {"window 9", with(align, plus(kHard, {"--contrast-window-size=9"}))},
        {"projector l-star", with(align, plus(kHard, {"--gray-projector=l-star"}))},
        {"projector luminance", with(align, plus(kHard, {"--gray-projector=luminance"}))},
        {"edge scale 0.3 (LoG)", with(align, plus(kHard, {"--contrast-edge-scale=0.3"}))},
        {"groups of 4", with(align, kHard, 4)},
    };
    for (const Named& n : recipes) {
      Run r = fuse(folder, &truth, n.recipe);
      if (!r.score) {
        std::printf("%-34s failed: %s\n", n.name, r.outcome.message.c_str());
        continue;
      }
      printScore(n.name, *r.score, static_cast<double>(r.outcome.elapsedMs) / 1000.0);
    }
  }

  std::printf("\nthe chosen recipe's cost (time, the largest memory of one tool's run)\n");
  std::vector<std::pair<int, int>> sizes{{800, 600}, {2400, 1600}};
  if (large) sizes.push_back({6000, 4000});
  for (auto [w, h] : sizes) {
    const std::string folder = (base / (std::to_string(w) + "x" + std::to_string(h))).string();
    fs::create_directories(folder);
    if (stacking::scanFolder(folder).problem)
      test::writeBracket(folder, {.width = w, .height = h, .frames = 12, .enlarge = w > 2400 ? 4 : 1});
    // At 2400x1600 also 4 frames: how the tools' memory grows with the
    // stack's length (align_image_stack's should not; enfuse's until it
    // fuses in groups).
    for (size_t frames : w == 2400 ? std::vector<size_t>{4, 12} : std::vector<size_t>{12}) {
      Run r = fuse(folder, nullptr, stacking::Recipe{}, frames);
      std::printf("%zu frames of %dx%d: %.1f s, peak %ld MB (", frames, w, h,
                  static_cast<double>(r.outcome.elapsedMs) / 1000.0, r.outcome.peakKb / 1024);
      for (size_t i = 0; i < r.outcome.peaksKb.size(); ++i)
        std::printf("%s%s %ld MB", i ? ", " : "",
                    r.outcome.commands[i].substr(0, r.outcome.commands[i].find(' ')).c_str(), r.outcome.peaksKb[i] / 1024);
      std::printf(")%s\n", r.outcome.ending == stacking::Ending::Done ? "" : " failed");
    }
  }
  if (!large) std::printf("(12 frames of 6000x4000: bench_stacking_bench --grande)\n");
  fs::remove_all(base);
  return 0;
}
