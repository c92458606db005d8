// What both firmware images share: the shutter output on pin 13, the bytes
// that are no command, the silent transmitter and the quiet-time switch-off.
#include <gtest/gtest.h>

#include "tests/firmware/firmware_support.h"

namespace velmira::firmware::test {
namespace {

struct Image {
  const char* name;
  const std::string* elf;
  bool (*energised)(const AvrBoard&);
};

void PrintTo(const Image& image, std::ostream* os) { *os << image.name; }

bool coilsOn(const AvrBoard& b) { return coils(b) != 0; }
bool driverEnabled(const AvrBoard& b) { return !level(b, kEnable); }

const Image kImages[] = {{"FourWire", &kFourWireElf, coilsOn},
                         {"StepDir", &kStepDirElf, driverEnabled}};

const std::string kCommands = "abcdprs";

class ControllerFirmware : public ::testing::TestWithParam<Image> {
 protected:
  AvrBoard board{*GetParam().elf};
  bool energised() const { return GetParam().energised(board); }
  // The time of the last change of the motor's state (coils or ENABLE).
  double lastMotorChangeMs() const {
    double t = -1;
    for (const PinChange& c : board.changes())
      if (isMotorPin(c)) t = c.timeUs / 1000.0;
    return t;
  }
  // How often the recorded changes switch the motor off, starting from off.
  int switchOffs() const {
    int count = 0;
    unsigned coilLevels = 0;
    const std::vector<PinChange>& all = board.changes();
    for (size_t i = 0; i < all.size(); ++i) {
      const PinChange& c = all[i];
      if (!isMotorPin(c)) continue;
      if (c.port == kEnable.port) {
        count += c.high;
        continue;
      }
      const unsigned before = coilLevels;
      coilLevels = c.high ? coilLevels | 1u << c.bit : coilLevels & ~(1u << c.bit);
      const bool lastAtThisTime = i + 1 == all.size() || all[i + 1].timeUs != c.timeUs;
      count += lastAtThisTime && coilLevels == 0 && before != 0;
    }
    return count;
  }

 private:
  bool isMotorPin(const PinChange& c) const {
    if (GetParam().energised == coilsOn) return c.port == kCoilPort && c.bit < 4;
    return c.port == kEnable.port && c.bit == kEnable.bit;
  }
};

TEST_P(ControllerFirmware, StartsWithTheMotorOffAndTheShutterLowWithoutAGlitch) {
  board.runMs(50);
  EXPECT_FALSE(energised());
  EXPECT_FALSE(level(board, kShutter));
  // No coil, STEP, DIR or pin 13 moves; only ENABLE may go high (driver off).
  for (const PinChange& c : board.changes()) {
    SCOPED_TRACE(std::string(1, c.port) + std::to_string(c.bit));
    EXPECT_TRUE(c.port == kEnable.port && c.bit == kEnable.bit && c.high);
  }
}

TEST_P(ControllerFirmware, RRaisesPin13AndSLowersIt) {
  struct Case {
    const char* bytes;
    bool high;
  };
  const Case cases[] = {{"r", true},     {"rs", false},   {"s", false},    {"rr", true},
                        {"rsr", true},   {"ra", true},    {"rp", true},    {"rabcdp", true},
                        {"rabcs", false}, {"rxs", false}, {"rR", true},    {"rS", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("bytes \"") + c.bytes + "\"");
    AvrBoard b(*GetParam().elf);
    b.sendAndRun(c.bytes);
    EXPECT_EQ(level(b, kShutter), c.high);
  }
}

TEST_P(ControllerFirmware, ControllerShotsHoldTheShutterForTheHostsSecond) {
  struct Case {
    const char* name;
    std::vector<std::pair<char, double>> bytes;  // byte, then wait (ms)
    int actuations;
  };
  const Case cases[] = {
      {"single", {{'r', 1000}, {'s', 500}}, 1},
      {"mirror lock-up", {{'r', 1000}, {'s', 2000}, {'r', 1000}, {'s', 500}}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AvrBoard b(*GetParam().elf);
    for (auto [byte, waitMs] : c.bytes) {
      b.send(std::string(1, byte));
      b.runMs(waitMs);
    }
    const std::vector<PinChange> edges = changesOf(b, kShutter);
    ASSERT_EQ(edges.size(), size_t(2 * c.actuations));
    for (size_t i = 0; i < edges.size(); i += 2) {
      EXPECT_TRUE(edges[i].high);
      EXPECT_NEAR(edges[i + 1].timeUs - edges[i].timeUs, 1'000'000.0, 100.0);
    }
  }
}

TEST_P(ControllerFirmware, ShutterAndMotorLeaveEachOtherAlone) {
  board.sendAndRun("ab");
  const bool energisedBefore = energised();
  board.clearChanges();
  board.sendAndRun("rs");
  EXPECT_EQ(energised(), energisedBefore);
  EXPECT_EQ(board.changes().size(), 2u);  // pin 13 up and down, nothing else
  board.sendAndRun("r");
  board.clearChanges();
  board.sendAndRun("cdapb");
  EXPECT_TRUE(changesOf(board, kShutter).empty());
  EXPECT_TRUE(level(board, kShutter));
}

TEST_P(ControllerFirmware, EveryOtherByteChangesNoPin) {
  board.sendAndRun("ar");
  board.clearChanges();
  std::string others;
  for (int v = 0; v < 256; ++v)
    if (kCommands.find(char(v)) == std::string::npos) others += char(v);
  ASSERT_EQ(others.size(), 249u);
  board.sendAndRun(others);
  EXPECT_TRUE(board.changes().empty());
  EXPECT_TRUE(energised());
  EXPECT_TRUE(level(board, kShutter));
  board.sendAndRun("s");  // and the line still works
  EXPECT_FALSE(level(board, kShutter));
}

TEST_P(ControllerFirmware, NeverTransmitsAnything) {
  std::string all;
  for (int v = 0; v < 256; ++v) all += char(v);
  board.sendAndRun(all + "abcdrspdcbap");
  board.runMs(100);
  EXPECT_EQ(board.bytesTransmitted(), 0u);
  EXPECT_TRUE(changesOf(board, kTx).empty());
}

TEST_P(ControllerFirmware, WindingsSwitchOffTenSecondsAfterTheLastCommand) {
  board.sendAndRun("a");
  const double lastCommandMs = board.nowMs();
  board.runMs(9'900 - (board.nowMs() - lastCommandMs));
  EXPECT_TRUE(energised()) << "at 9.9 s";
  board.runMs(200);
  EXPECT_FALSE(energised()) << "at 10.1 s";
  EXPECT_NEAR(lastMotorChangeMs() - lastCommandMs, 10'000.0, 2.0);
}

TEST_P(ControllerFirmware, AShutterLeftHighIsReleasedTenSecondsAfterTheLastCommand) {
  board.sendAndRun("ar");
  const double lastCommandMs = board.nowMs();
  board.runMs(9'900);
  EXPECT_TRUE(level(board, kShutter)) << "at 9.9 s";
  board.runMs(200);
  EXPECT_FALSE(level(board, kShutter)) << "at 10.1 s";
  const std::vector<PinChange> edges = changesOf(board, kShutter);
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_NEAR(edges[1].timeUs / 1000.0 - lastCommandMs, 10'000.0, 2.0);
  EXPECT_FALSE(energised()) << "the motor goes off with it";
}

TEST_P(ControllerFirmware, ALetterEverySecondKeepsTheWindingsOn) {
  board.sendAndRun("p");
  board.clearChanges();
  sendPaced(board, "abcdabcdabcdabcdabcdabcdabcda", 1000.0);  // 29 s
  board.sendAndRun("b");
  const double lastLetterMs = board.nowMs();
  EXPECT_TRUE(energised());
  EXPECT_EQ(switchOffs(), 0);
  board.runMs(9'900);
  EXPECT_EQ(switchOffs(), 0);
  board.runMs(200);
  EXPECT_EQ(switchOffs(), 1);
  EXPECT_FALSE(energised());
  EXPECT_NEAR(lastMotorChangeMs() - lastLetterMs, 10'000.0, 2.0);
}

TEST_P(ControllerFirmware, QuietTimeCountsCommandsOnly) {
  struct Case {
    const char* name;
    char every;  // sent once a second after "a"
    bool onAfter15s;
  };
  const Case cases[] = {{"shutter commands", 'r', true},
                        {"unknown bytes", 'x', false},
                        {"upper-case letters", 'B', false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AvrBoard b(*GetParam().elf);
    b.sendAndRun("a");
    sendPaced(b, std::string(15, c.every), 1000.0);
    EXPECT_EQ(GetParam().energised(b), c.onAfter15s);
  }
}

TEST_P(ControllerFirmware, AMotorThatIsOffStaysUntouchedByTheQuietTime) {
  board.sendAndRun("abp");
  board.clearChanges();
  board.runMs(25'000);
  EXPECT_TRUE(board.changes().empty());
}

INSTANTIATE_TEST_SUITE_P(Images, ControllerFirmware, ::testing::ValuesIn(kImages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmira::firmware::test
