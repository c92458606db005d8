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
#include "tests/support/poll.h"
#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

namespace fs = std::filesystem;

// A stand-in for align_image_stack that writes an empty aligned file per
// frame, and one for enfuse that runs `body`.
void writeTool(const std::string& dir, const std::string& name, const std::string& body) {
  const std::string path = dir + "/" + name;
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
}

const char* const kAligner =
    "[ \"$1\" = -h ] && exit 1\n"
    "prefix=; n=0\n"
    "while [ $# -gt 0 ]; do case \"$1\" in\n"
    "  -a) prefix=$2; shift 2;;\n"
    "  -*) shift;;\n"
    "  *) : > \"$(printf '%s%04d.tif' \"$prefix\" $n)\"; n=$((n+1)); shift;;\n"
    "esac; done";

class StackCommand : public ::testing::Test {
 protected:
  StackCommand() {
    fs::create_directories(frames.path() + "/fotos");
    for (int i = 1; i <= 3; ++i) frame("foto-000" + std::to_string(i) + ".jpg");
  }
  void frame(const std::string& name, int w = 40) {
    test::writeJpeg(folder() + "/" + name, {w, 30, std::vector<uint8_t>(static_cast<size_t>(w) * 30 * 3, 90)}, 90);
  }
  std::string folder() const { return frames.path() + "/fotos"; }
  std::vector<std::string> left() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  // Runs velmira with PATH set to `path` (the stand-ins), no display.
  std::unique_ptr<test::ChildProcess> start(std::vector<std::string> args, const std::string& path) {
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    auto child = std::make_unique<test::ChildProcess>(VELMIRA_EXE, args);
    setenv("PATH", oldPath.c_str(), 1);
    return child;
  }
  int run(std::vector<std::string> args, const std::string& path) {
    auto child = start(std::move(args), path);
    const int status = child->wait(60000);
    err = child->errorOutput();
    return status;
  }
  const std::vector<std::string> threeFrames{"foto-0001.jpg", "foto-0002.jpg", "foto-0003.jpg"};
  test::ScratchFolder frames, tools{"velmira-tools-"};
  std::string err;
};

TEST_F(StackCommand, StatusesOfAFolderThatCannotBeStacked) {
  frame("foto-0004.jpg", 41);
  EXPECT_EQ(run({"--apilar", folder()}, tools.path()), 3);
  EXPECT_NE(err.find("foto-0004.jpg mide 41x30"), std::string::npos) << err;
  fs::remove(folder() + "/foto-0004.jpg");
  EXPECT_EQ(run({"--apilar", tools.path()}, tools.path()), 3);
  EXPECT_NE(err.find("no tiene fotos"), std::string::npos) << err;
  EXPECT_EQ(run({"--apilar", folder()}, tools.path()), 4);  // neither tool on PATH
  EXPECT_NE(err.find("no se encuentra align_image_stack ni enfuse. Instálelos con «sudo apt install hugin-tools "
                     "enfuse»."),
            std::string::npos)
      << err;
  EXPECT_EQ(run({"--apilar", folder(), "--salida", "x.png"}, tools.path()), 2);
  EXPECT_EQ(left(), threeFrames);
}

TEST_F(StackCommand, AFailingToolOrAFullDiskLeavesTheFramesAndNoResult) {
  writeTool(tools.path(), "align_image_stack", kAligner);
  writeTool(tools.path(), "enfuse", "[ \"$1\" = --version ] && { echo 'enfuse 4.2'; exit 0; }\n"
                                    "echo 'enfuse: info: loading next image: a 1/1'\n"
                                    "echo 'enfuse: error writing: No space left on device' >&2\nexit 1");
  EXPECT_EQ(run({"--apilar", folder()}, tools.path()), 1);
  EXPECT_NE(err.find("no queda espacio en el disco"), std::string::npos) << err;
  EXPECT_EQ(left(), threeFrames);  // no result, no work folder
  writeTool(tools.path(), "align_image_stack", "[ \"$1\" = -h ] && exit 1\necho 'No control points'\nexit 3");
  EXPECT_EQ(run({"--apilar", folder()}, tools.path()), 1);
  EXPECT_NE(err.find("No se pudieron alinear las fotos: align_image_stack terminó con el código 3 («No control "
                     "points»)."),
            std::string::npos)
      << err;
  EXPECT_EQ(left(), threeFrames);
}

TEST_F(StackCommand, CtrlCStopsTheToolAtOnceAndLeavesNothing) {
  const std::string pidFile = tools.path() + "/pid";
  writeTool(tools.path(), "enfuse", "[ \"$1\" = --version ] && { echo 'enfuse 4.2'; exit 0; }");
  writeTool(tools.path(), "align_image_stack", "[ \"$1\" = -h ] && exit 1\necho $$ > " + pidFile +
                                                   "\nexec /bin/sleep 60");
  auto child = start({"--apilar", folder()}, tools.path());
  ASSERT_TRUE(test::pollUntil([&] { return fs::exists(pidFile) && fs::file_size(pidFile) > 0; }, 20000));
  const pid_t tool = std::stoi([&] {
    std::ifstream in(pidFile);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }());
  child->signal(SIGINT);
  EXPECT_EQ(child->wait(20000), 130);
  EXPECT_NE(child->errorOutput().find("apilado cancelado"), std::string::npos);
  EXPECT_TRUE(test::pollUntil([&] { return kill(tool, 0) != 0; }, 5000)) << "the tool still runs";
  EXPECT_EQ(left(), threeFrames);
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
