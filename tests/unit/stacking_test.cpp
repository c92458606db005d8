// Fusing a stack on stand-in tools: the plan of the tools' runs, the
// progress read from their output, the folder's frames, the endings and
// the files they leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "stacking/frames.h"
#include "stacking/plan.h"
#include "stacking/progress.h"
#include "stacking/record.h"
#include "stacking/stacker.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/focus_bracket.h"

namespace velmira::stacking {
namespace {

using test::FakeProcesses;

std::vector<std::string> names(size_t n) {
  std::vector<std::string> out;
  for (size_t i = 1; i <= n; ++i) out.push_back("/f/foto-" + std::to_string(i) + ".jpg");
  return out;
}

TEST(StackPlan, FiftyFramesOf24MegapixelsAreFusedInGroupsWithinTheMemory) {
  const PictureInfo info{6000, 4000, 8};
  const Recipe recipe;
  const auto plan = planStack(names(50), info, "/w", recipe, true);
  EXPECT_EQ(plan.front().tool, "align_image_stack");
  EXPECT_EQ(plan.front().inputs, 50u);
  size_t frames = 0;
  for (size_t i = 1; i + 1 < plan.size(); ++i) {
    const bool ofFrames = plan[i].args.back().find("alineada_") != std::string::npos;
    if (ofFrames) frames += plan[i].inputs;
    // enfuse's measured cost: 20 bytes a pixel, 8 per 8-bit and 14 per 16-bit picture
    const double mb = (20.0 + (ofFrames ? 8 : 14) * static_cast<double>(plan[i].inputs)) * 24e6 / (1 << 20);
    EXPECT_LE(mb, 1536) << commandLine(plan[i]);
    EXPECT_GE(plan[i].inputs, 2u);
  }
  EXPECT_EQ(frames, 50u);
  EXPECT_EQ(plan[plan.size() - 2].args[plan[plan.size() - 2].args.size() - plan[plan.size() - 2].inputs - 1],
            "/w/apilada.tif");
  EXPECT_EQ(commandLine(plan.back()), "enfuse -v --depth=8 --compression=95 -o /w/apilada.jpg /w/apilada.tif");
  // A short stack in one run of enfuse, straight to the result.
  EXPECT_EQ(planStack(names(12), {800, 600, 8}, "/w", recipe, false).size(), 2u);
}

TEST(StackProgress, AligningThenFusingFrameByFrameWithTheTimeLeft) {
  const auto plan = planStack(names(3), {800, 600, 8}, "/w", Recipe{}, true);
  ProgressTracker t(plan, 0);
  t.begin(0);
  EXPECT_EQ(t.at(0).stage, Stage::Aligning);
  EXPECT_FALSE(t.at(0).leftMs);
  std::vector<double> seen;
  for (const char* line : {"Creating control points between a and b", "Number of good matches: 3",
                           "Creating control points between b and c", "remapping a", "remapping b"}) {
    t.line(line);
    seen.push_back(t.at(1000).fraction);
  }
  EXPECT_EQ(t.at(1000).frame, 2u);
  t.line("remapping c");
  EXPECT_NEAR(t.at(1000).fraction, 0.55, 1e-9);
  EXPECT_EQ(t.at(1000).frame, 3u);
  t.begin(1);
  for (const char* line : {"enfuse: info: loading next image: x 1/1", "enfuse: info: loading next image: x 1/1",
                           "enfuse: info: loading next image: x 1/1",
                           "enfuse: info: generating Laplacian pyramid: l0 l1"}) {
    t.line(line);
    seen.push_back(t.at(1000).fraction);
  }
  const Progress p = t.at(2000);
  EXPECT_EQ(p.stage, Stage::Fusing);
  EXPECT_EQ(p.frame, 1u);
  ASSERT_TRUE(p.leftMs);
  EXPECT_NEAR(static_cast<double>(*p.leftMs), 2000 * (1 - p.fraction) / p.fraction, 1);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(progressBar(p, 10).substr(0, 23), "Fusionando [########..]");
}

class StackFolder : public ::testing::Test {
 protected:
  void frame(const std::string& name, int w = 40, int h = 30) {
    test::writeJpeg(dir / name, {w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3, 128)}, 90);
  }
  test::ScratchFolder dir;
};

TEST_F(StackFolder, FramesInNameOrderWithoutEarlierResults) {
  frame("foto-0002.jpg");
  frame("foto-0001.JPG");
  frame("apilada.jpg");
  std::ofstream(dir / "pila.txt") << "x";
  const FrameScan scan = scanFolder(dir.path());
  ASSERT_FALSE(scan.problem) << *scan.problem;
  EXPECT_EQ(scan.frames.paths, (std::vector<std::string>{dir / "foto-0001.JPG", dir / "foto-0002.jpg"}));
  EXPECT_EQ(scan.frames.info.width, 40);
  EXPECT_EQ(scan.frames.info.height, 30);
}

TEST_F(StackFolder, UnreadableAndMixedSizesAreRefusedByName) {
  frame("a.jpg");
  frame("b.jpg", 41, 30);
  EXPECT_EQ(*scanFolder(dir.path()).problem,
            "Las fotos no son todas del mismo tamaño: a.jpg mide 40x30 y b.jpg mide 41x30.");
  std::filesystem::remove(dir / "b.jpg");
  std::ofstream(dir / "b.jpg") << std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10);  // cut short
  EXPECT_EQ(*scanFolder(dir.path()).problem,
            "No se puede leer la foto b.jpg: no es un JPEG, TIFF o PNG completo.");
}

class StackRun : public StackFolder {
 protected:
  StackRun() {
    frame("foto-0001.jpg");
    frame("foto-0002.jpg");
    frame("foto-0003.jpg");
    job.frames = scanFolder(dir.path()).frames;
    job.tif = dir / "apilada.tif";
    job.jpg = dir / "apilada.jpg";
  }
  Outcome run() {
    return fuseStack(tools, clock, job, Recipe{}, [&](const Progress& p) { stages.push_back(p.stage); }, cancel);
  }
  const std::vector<std::string> frames{"foto-0001.jpg", "foto-0002.jpg", "foto-0003.jpg"};
  test::Transcript transcript;
  test::VirtualClock clock{transcript};
  FakeProcesses tools;
  std::atomic<bool> cancel{false};
  Job job;
  std::vector<Stage> stages;
};

TEST_F(StackRun, ResultsTakeTheirNamesOnceWholeAndTheRecordSaysHow) {
  tools.answers["enfuse"] = {{{"enfuse: info: loading next image: a 1/1"}, 0, [&] { clock.advance(4000); }}};
  const Outcome o = run();
  ASSERT_EQ(o.ending, Ending::Done) << o.message;
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"apilada.jpg", "apilada.tif", "foto-0001.jpg", "foto-0002.jpg",
                                                   "foto-0003.jpg"}));
  EXPECT_EQ(tools.runs.size(), 3u);  // align, fuse, the JPEG; all in the work folder, now gone
  EXPECT_EQ(tools.runs[0].directory.rfind(dir / ".apilando-", 0), 0u);
  EXPECT_EQ(stages.front(), Stage::Aligning);
  EXPECT_EQ(stages.back(), Stage::Saving);
  const std::string json = recordJson(o);
  EXPECT_EQ(json.rfind("{\"resultado\": \"hecho\", \"fotos\": 3, \"segundos\": 8.0, \"align_image_stack\": "
                       "\"align_image_stack version 2022.0.0\", \"enfuse\": \"enfuse 4.2\", \"ordenes\": "
                       "[\"align_image_stack -v -m -C --use-given-order -a ",
                       0),
            0u)
      << json;
  EXPECT_NE(json.find("\"archivos\": [\"apilada.tif\", \"apilada.jpg\"]}"), std::string::npos) << json;
  EXPECT_EQ(recordText(o).substr(0, 61), "Apilado: hecho en 8.0 s con 3 fotos: apilada.tif apilada.jpg\n");
}

TEST_F(StackRun, AFailingToolIsReportedAndTheFramesAreLeftAlone) {
  for (const char* tool : {"align_image_stack", "enfuse"}) {
    SCOPED_TRACE(tool);
    tools.answers.clear();
    tools.answers[tool] = {{{"Run called", "An error occurred during optimization."}, 1, {}}};
    const Outcome o = run();
    EXPECT_EQ(o.ending, Ending::Failed);
    EXPECT_EQ(o.message, std::string(tool[0] == 'a' ? "No se pudieron alinear las fotos: "
                                                    : "No se pudieron fusionar las fotos: ") +
                             tool + " terminó con el código 1 («An error occurred during optimization.»).");
    EXPECT_EQ(dir.names(), frames);
    EXPECT_NE(recordJson(o).find("\"resultado\": \"fallido\""), std::string::npos);
  }
}

TEST_F(StackRun, CancelledMidToolLeavesNothingHalfWritten) {
  std::ofstream(dir / "apilada.jpg") << "the earlier result";
  tools.answers["enfuse"] = {{{}, 0, [&] { cancel = true; }}};
  EXPECT_EQ(run().ending, Ending::Cancelled);
  EXPECT_EQ(tools.runs.size(), 2u);  // nothing after the cancelled one
  std::ifstream earlier(dir / "apilada.jpg");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "the earlier result");
  EXPECT_EQ(dir.names().size(), 4u);  // the frames and the earlier result; no work folder
}

TEST_F(StackRun, MissingToolsSayHowToInstallThem) {
  tools.installed = {"align_image_stack"};
  const Outcome o = run();
  EXPECT_EQ(o.ending, Ending::ToolsMissing);
  EXPECT_EQ(o.message, "No se pudo apilar: no se encuentra enfuse. Instálelos con «sudo apt install hugin-tools enfuse».");
  EXPECT_TRUE(tools.runs.empty());
}

TEST_F(StackRun, TheRunsRecordGainsTheFusionOnceEvenWhenFusedAgain) {
  std::ofstream(dir / "pila.json") << "{\n  \"version\": \"1.0\",\n  \"fin\": \"terminada\"\n}\n";
  std::ofstream(dir / "pila.txt") << "Pila 2026-12-08\n";
  Outcome o = run();
  ASSERT_FALSE(addToRecord(dir.path(), o));
  o.ending = Ending::Failed;
  o.message = "No se pudieron fusionar las fotos.";
  ASSERT_FALSE(addToRecord(dir.path(), o));
  std::ifstream json(dir / "pila.json"), text(dir / "pila.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(json), {}),
            "{\n  \"version\": \"1.0\",\n  \"fin\": \"terminada\",\n  \"apilado\": " + recordJson(o) + "\n}\n");
  const std::string t(std::istreambuf_iterator<char>(text), {});
  EXPECT_EQ(t.rfind("Pila 2026-12-08\nApilado: hecho", 0), 0u) << t;
  EXPECT_NE(t.find("Apilado: fallido tras 0.0 s. No se pudieron fusionar las fotos.\n"), std::string::npos) << t;
}

}  // namespace
}  // namespace velmira::stacking
