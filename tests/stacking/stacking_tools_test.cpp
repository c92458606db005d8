// velmira --apilar as a user runs it: the real tools on a synthetic focus
// bracket, scored against its all-in-focus truth; stand-in tools on PATH
// that fail, hang or are missing; the exit statuses and what is left in the
// folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "stacking/frames.h"
#include "tests/support/focus_bracket.h"
#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// Stand-ins: each answers its version query as the real one, then runs its
// body.  The aligner's "aligns" writes an empty file per frame.
const std::string kAligner = "[ \"$1\" = -h ] && exit 1\n", kEnfuse = "[ \"$1\" = --version ] && { echo 'enfuse 4.2'; exit 0; }\n";
const std::string kAligns =
    "prefix=; n=0\nwhile [ $# -gt 0 ]; do case \"$1\" in\n  -a) prefix=$2; shift 2;;\n  -*) shift;;\n"
    "  *) : > \"$(printf '%s%04d.tif' \"$prefix\" $n)\"; n=$((n+1)); shift;;\nesac; done";

struct StackCommand : ::testing::Test {
  StackCommand() {
    for (const std::string& name : kFrames)
      test::writeJpeg(frames / name, {40, 30, std::vector<uint8_t>(40 * 30 * 3, 90)}, 90);
  }
  void tool(const std::string& name, const std::string& script) {
    std::ofstream(tools / name) << "#!/bin/sh\n" << script << "\n";
    chmod((tools / name).c_str(), 0755);
  }
  // velmira with the stand-ins alone on PATH, no display.
  std::unique_ptr<test::ChildProcess> start(const std::vector<std::string>& args) {
    const std::string path = std::getenv("PATH");
    setenv("PATH", tools.path().c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    auto child = std::make_unique<test::ChildProcess>(VELMIRA_EXE, args);
    setenv("PATH", path.c_str(), 1);
    return child;
  }
  const Strings kFrames{"foto-0001.jpg", "foto-0002.jpg", "foto-0003.jpg"};
  test::ScratchFolder frames, tools{"velmira-tools-"};
};

TEST_F(StackCommand, WhatCannotBeStackedEndsWithItsStatusAndLeavesTheFramesAlone) {
  // A failing aligner's and odd frames' messages are the stacking's own (StackRun, StackFolder).
  const std::tuple<const char*, std::string, std::string, Strings, int, std::string> cases[] = {
      // what, align_image_stack, enfuse (none: not on PATH), the arguments: the status, what it says
      {"no tools", "", "", {}, 4, "no se encuentra align_image_stack ni enfuse. Instálelos con «sudo apt install "
                                 "hugin-tools enfuse»."},
      {"a folder without photos", "", "", {"--apilar", tools.path()}, 3, "no tiene fotos"},
      {"an output that is no picture", "", "", {"--apilar", frames.path(), "--salida", "x.png"}, 2, ""},
      {"a full disk", kAligner + kAligns,
       kEnfuse + "echo 'enfuse: info: loading next image: a 1/1'\necho 'enfuse: error writing: No space left on "
                 "device' >&2\nexit 1",
       {}, 1, "no queda espacio en el disco"},
  };
  for (const auto& [what, aligner, enfuse, args, status, said] : cases) {
    SCOPED_TRACE(what);
    if (!aligner.empty()) tool("align_image_stack", aligner), tool("enfuse", enfuse);
    auto velmira = start(args.empty() ? Strings{"--apilar", frames.path()} : args);
    EXPECT_EQ(velmira->wait(60000), status);
    EXPECT_NE(velmira->errorOutput().find(said), std::string::npos) << velmira->errorOutput();
    EXPECT_EQ(frames.names(), kFrames);  // no result, no work folder
  }
}

TEST_F(StackCommand, CtrlCStopsTheToolAtOnceAndLeavesNothing) {
  const std::string pidFile = tools / "pid";
  tool("enfuse", kEnfuse);
  tool("align_image_stack", kAligner + "echo $$ > " + pidFile + "\nexec /bin/sleep 60");
  auto velmira = start({"--apilar", frames.path()});
  ASSERT_TRUE(test::pollUntil([&] { return fs::exists(pidFile) && fs::file_size(pidFile) > 0; }, 20000));
  pid_t aligner = 0;
  std::ifstream(pidFile) >> aligner;
  velmira->signal(SIGINT);
  EXPECT_EQ(velmira->wait(20000), 130);
  EXPECT_NE(velmira->errorOutput().find("apilado cancelado"), std::string::npos);
  EXPECT_TRUE(test::pollUntil([&] { return kill(aligner, 0) != 0; }, 5000)) << "the tool still runs";
  EXPECT_EQ(frames.names(), kFrames);
}

TEST(RealTools, AnEightFrameBracketFusesAsSharpAsTheTruth) {
  test::ScratchFolder dir;
  const test::Rgb8 truth = test::writeBracket(dir.path(), {.width = 400, .height = 300, .frames = 8});
  // The folder as a user types it, relative to where velmira starts.
  const fs::path here = fs::current_path();
  fs::current_path(fs::path(dir.path()).parent_path());
  test::ChildProcess velmira(VELMIRA_EXE, {"--apilar", fs::path(dir.path()).filename().string()});
  fs::current_path(here);
  ASSERT_EQ(velmira.wait(300000), 0) << velmira.errorOutput();
  EXPECT_NE(velmira.errorOutput().find("Alineando"), std::string::npos);
  EXPECT_NE(velmira.errorOutput().find("Fusionando"), std::string::npos);
  const auto tif = stacking::readPictureFile(dir / "apilada.tif");
  ASSERT_TRUE(tif);
  EXPECT_EQ(tif->bitsPerSample, 16);
  const auto fused = test::readJpeg(dir / "apilada.jpg");
  ASSERT_TRUE(fused);
  const test::Score s = test::scorePicture(*fused, truth);
  EXPECT_GE(s.minRatio, 0.8);
  EXPECT_GE(s.medianRatio, 0.9);
  EXPECT_LE(s.maxRatio, 1.15);  // sharper than the truth would be sharpening
  EXPECT_LE(s.maxShift, 1.0);
  EXPECT_LE(s.maxResidual, 0.6);  // no ghosts, no halos (0.9 unaligned, 0.7 with a soft mask)
  double bestSingle = 0;
  for (const std::string& f : stacking::scanFolder(dir.path()).frames.paths)
    if (f.find("foto-") != std::string::npos)
      bestSingle = std::max(bestSingle, test::scorePicture(*test::readJpeg(f), truth).medianRatio);
  EXPECT_LT(bestSingle, s.medianRatio - 0.2);
  std::printf("fused: worst %.2f median %.2f best %.2f shift %.2f residual %.2f; best single frame %.2f\n",
              s.minRatio, s.medianRatio, s.maxRatio, s.maxShift, s.maxResidual, bestSingle);
}

}  // namespace
}  // namespace velmira
