// The four-wire back end: the coil outputs on D8..D11 after each command.
#include <gtest/gtest.h>

#include "tests/firmware/firmware_support.h"

namespace velmira::firmware::test {
namespace {

unsigned rotateForwards(unsigned coils) { return ((coils << 1) | (coils >> 3)) & 0x0Fu; }
unsigned rotateBackwards(unsigned coils) { return ((coils >> 1) | (coils << 3)) & 0x0Fu; }

TEST(FourWireFirmware, EachLetterSetsItsTwoWindingsAndPSwitchesAllOff) {
  struct Case {
    const char* bytes;
    unsigned coils;  // bit 0 = D8 (A), bit 1 = D9 (B), bit 2 = D10 (A'), bit 3 = D11 (B')
  };
  const Case cases[] = {
      {"", 0b0000},     {"a", 0b0011},    {"b", 0b0110},    {"c", 0b1100},
      {"d", 0b1001},    {"ap", 0b0000},   {"abcdp", 0b0000}, {"abcd", 0b1001},
      {"dcba", 0b0011}, {"pb", 0b0110},   {"ac", 0b1100},   {"aa", 0b0011},
      {"apc", 0b1100},  {"cpp", 0b0000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("bytes \"") + c.bytes + "\"");
    AvrBoard board(kFourWireElf);
    board.sendAndRun(c.bytes);
    EXPECT_EQ(coils(board), c.coils);
  }
}

TEST(FourWireFirmware, ForwardLettersTurnTheFieldOneWindingOnwardAndBackwardLettersBack) {
  struct Case {
    const char* bytes;
    unsigned (*next)(unsigned);
  };
  const Case cases[] = {{"abcdabcda", rotateForwards}, {"adcbadcba", rotateBackwards}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    AvrBoard board(kFourWireElf);
    board.sendAndRun(std::string(1, c.bytes[0]));
    for (const char* p = c.bytes + 1; *p; ++p) {
      const unsigned before = coils(board);
      board.sendAndRun(std::string(1, *p));
      EXPECT_EQ(coils(board), c.next(before)) << "letter " << *p;
    }
  }
}

TEST(FourWireFirmware, CoilsSwitchAllAtOnceRightAfterEachByte) {
  AvrBoard board(kFourWireElf);
  for (char letter : std::string("abcdcbadp")) {
    SCOPED_TRACE(std::string(1, letter));
    board.clearChanges();
    const double start = board.nowUs();
    board.sendAndRun(std::string(1, letter));
    std::vector<PinChange> coilChanges;
    for (const PinChange& c : board.changes())
      if (c.port == kCoilPort && c.bit < 4) coilChanges.push_back(c);
    ASSERT_FALSE(coilChanges.empty());
    for (const PinChange& c : coilChanges) {
      EXPECT_EQ(c.timeUs, coilChanges.front().timeUs);  // never a mixed pattern
      EXPECT_GE(c.timeUs - start, 1000.0);               // not before the byte is in
      EXPECT_LE(c.timeUs - start, AvrBoard::kByteUs + 100.0);
    }
  }
}

TEST(FourWireFirmware, ALetterAfterTheQuietTimeSwitchOffEnergisesAgain) {
  AvrBoard board(kFourWireElf);
  board.sendAndRun("a");
  board.runMs(10'100);
  ASSERT_EQ(coils(board), 0u);
  board.sendAndRun("b");
  EXPECT_EQ(coils(board), 0b0110u);
}

}  // namespace
}  // namespace velmira::firmware::test
