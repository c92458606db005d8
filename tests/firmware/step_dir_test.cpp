// The STEP/DIR back end: pulses on D2, direction on D3, ENABLE on D4.
#include <gtest/gtest.h>

#include "tests/firmware/firmware_support.h"

namespace velmira::firmware::test {
namespace {

// 'F' for a pulse with DIR high, 'B' for one with DIR low.
std::string pulseText(const AvrBoard& board) {
  std::string out;
  for (const Pulse& p : stepPulses(board)) out += p.dirHigh ? 'F' : 'B';
  return out;
}

TEST(StepDirFirmware, SuccessorLettersStepAndOtherLettersOnlyMoveTheReference) {
  struct Case {
    const char* bytes;
    const char* pulses;
  };
  const Case cases[] = {
      {"", ""},
      {"a", "F"},  // after reset the reference is "d", as on the host
      {"c", "B"},
      {"d", ""},   // the same letter again
      {"b", ""},   // a jump of two
      {"abcdabcd", "FFFFFFFF"},  // the host's first forward move of 8 steps
      {"cbadcbad", "BBBBBBBB"},  // and its first backward one
      {"aa", "F"},
      {"ac", "F"},
      {"acd", "FF"},
      {"abcb", "FFFB"},
      {"badc", "BBB"},
      {"abpc", "FFF"},  // "p" keeps the reference: the next move loses no step
      {"apd", "FB"},
      {"pa", "F"},
      {"p", ""},
      {"axb", "FF"},  // an unknown byte in between changes nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("bytes \"") + c.bytes + "\"");
    AvrBoard board(kStepDirElf);
    board.sendAndRun(c.bytes);
    EXPECT_EQ(pulseText(board), c.pulses);
  }
}

TEST(StepDirFirmware, EnableIsHighAfterPAndLowAfterEveryLetter) {
  struct Case {
    const char* bytes;
    bool enableHigh;
  };
  const Case cases[] = {
      {"", true},    {"a", false}, {"ap", true},  {"apb", false}, {"d", false},
      {"b", false},  {"r", true},  {"ar", false}, {"pp", true},   {"abcdp", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("bytes \"") + c.bytes + "\"");
    AvrBoard board(kStepDirElf);
    board.sendAndRun(c.bytes);
    EXPECT_EQ(level(board, kEnable), c.enableHigh);
  }
}

TEST(StepDirFirmware, PulsesMeetTheDriversTimingAndFollowTheirByte) {
  AvrBoard board(kStepDirElf);
  const std::string bytes = "abcbapdcdab";
  std::vector<double> byteStarts;
  for (char letter : bytes) {
    byteStarts.push_back(board.nowUs());
    board.sendAndRun(std::string(1, letter));
  }
  const std::vector<Pulse> pulses = stepPulses(board);
  ASSERT_EQ(pulseText(board), "FFFBBBBFFF");
  for (const Pulse& p : pulses) {
    SCOPED_TRACE(p.riseUs);
    EXPECT_GE(p.widthUs, 2.0);
    EXPECT_GE(p.dirSetupUs, 1.0);
    EXPECT_TRUE(p.enabled);
    bool followsAByte = false;
    for (double start : byteStarts) {
      const double after = p.riseUs - start;
      followsAByte |= after >= 1000.0 && after <= AvrBoard::kByteUs + 100.0;
    }
    EXPECT_TRUE(followsAByte);
  }
  // DIR never changes while STEP is high.
  for (const PinChange& d : changesOf(board, kDir))
    for (const Pulse& p : pulses)
      EXPECT_FALSE(d.timeUs >= p.riseUs && d.timeUs <= p.riseUs + p.widthUs);
}

TEST(StepDirFirmware, BackToBackBytesAndSlowHostStepsAllCount) {
  struct Case {
    double gapMs;  // from the start of one letter to the start of the next
    int letters;
  };
  const Case cases[] = {{AvrBoard::kByteUs / 1000.0, 40}, {20.0, 12}, {1000.0, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gapMs);
    AvrBoard board(kStepDirElf);
    std::string forwards, backwards;
    int phase = 3;  // "d"
    for (int i = 0; i < c.letters; ++i) forwards += char('a' + (phase = (phase + 1) % 4));
    for (int i = 0; i < c.letters; ++i) backwards += char('a' + (phase = (phase + 3) % 4));
    sendPaced(board, forwards + "p" + backwards + "p", c.gapMs);
    board.runUntilSent();
    EXPECT_EQ(pulseText(board), std::string(c.letters, 'F') + std::string(c.letters, 'B'));
    EXPECT_TRUE(level(board, kEnable));
  }
}

TEST(StepDirFirmware, ALetterAfterTheQuietTimeSwitchOffEnablesAndStepsOn) {
  AvrBoard board(kStepDirElf);
  board.sendAndRun("a");
  board.runMs(10'100);
  ASSERT_TRUE(level(board, kEnable));
  board.sendAndRun("b");
  EXPECT_FALSE(level(board, kEnable));
  EXPECT_EQ(pulseText(board), "FF");
}

}  // namespace
}  // namespace velmira::firmware::test
