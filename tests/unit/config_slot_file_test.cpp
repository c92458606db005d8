// The slot file format on its own: the bytes written, what is read back.
#include "config/slot_file.h"

#include <gtest/gtest.h>

namespace velmira::config {
namespace {

TEST(SlotFile, WritesSevenLinesWithCrLfInWindows1252) {
  SlotValues v{"0,0125", "1", "4", 1, 0, -1, "0"};
  EXPECT_EQ(writeSlot(v), "0,0125\r\n1\r\n4\r\n 1 \r\n 0 \r\n-1 \r\n0\r\n");
  // Whole numbers carry a place for the sign and a trailing blank.
  SlotValues accents{"1º", "€", "", 1000, 2, 1, "2"};
  EXPECT_EQ(writeSlot(accents), "1\xBA\r\n\x80\r\n\r\n 1000 \r\n 2 \r\n 1 \r\n2\r\n");
}

TEST(SlotFile, AcceptsTheLineEndsAndIntegerFormsOfOtherWriters) {
  struct Case { const char* what; std::string bytes; SlotValues values; };
  const Case cases[] = {
      {"LF only", "0,5\n2\n3\n 40 \n 1 \n 0 \n1\n", {"0,5", "2", "3", 40, 1, 0, "1"}},
      {"no end on the last line", "0,5\r\n2\r\n3\r\n40\r\n1\r\n0\r\n1", {"0,5", "2", "3", 40, 1, 0, "1"}},
      {"mixed ends", "0,5\r\n2\n3\r\n40\n1\r\n0\n1\r\n", {"0,5", "2", "3", 40, 1, 0, "1"}},
      {"tabs and blanks", "a\r\nb\r\nc\r\n\t40\t\r\n  -1\r\n1  \r\nd\r\n", {"a", "b", "c", 40, -1, 1, "d"}},
      {"halves to even", "a\r\nb\r\nc\r\n2,5\r\n3,5\r\n0,5\r\nd\r\n", {"a", "b", "c", 2, 4, 0, "d"}},
      {"exponent", "a\r\nb\r\nc\r\n1E2\r\n0\r\n0\r\nd\r\n", {"a", "b", "c", 100, 0, 0, "d"}},
      {"the last of two groups", "1\r\n2\r\n3\r\n 10 \r\n 1 \r\n 0 \r\n4\r\n5\r\n6\r\n7\r\n 20 \r\n 2 \r\n 1 \r\n8\r\n",
       {"5", "6", "7", 20, 2, 1, "8"}},
      {"an earlier group is not looked at", "1\r\n2\r\n3\r\nxx\r\n 99 \r\n 9 \r\n4\r\n5\r\n6\r\n7\r\n 20 \r\n 2 \r\n 1 \r\n8\r\n",
       {"5", "6", "7", 20, 2, 1, "8"}},
      {"empty text lines", "\r\n\r\n\r\n5\r\n0\r\n0\r\n\r\n", {"", "", "", 5, 0, 0, ""}},
  };
  for (const Case& c : cases) {
    std::optional<SlotValues> v = readSlot(c.bytes);
    ASSERT_TRUE(v) << c.what;
    EXPECT_EQ(*v, c.values) << c.what;
  }
}

TEST(SlotFile, RefusesFilesThatAreNotValid) {
  const std::string good[7] = {"0,5", "1", "4", " 250 ", " 2 ", " 1 ", "0"};
  auto with = [&](int line, const std::string& text) {
    std::string out;
    for (int i = 0; i < 7; ++i) out += (i == line ? text : good[i]) + "\r\n";
    return out;
  };
  struct Case { const char* what; std::string bytes; };
  const Case cases[] = {
      {"empty", ""},
      {"six lines", "a\r\nb\r\nc\r\n 1 \r\n 0 \r\n 0 \r\n"},
      {"eight lines", with(-1, "") + "extra\r\n"},
      {"a blank line after the group", with(-1, "") + "\r\n"},
      {"speed empty", with(3, "")},
      {"speed letters", with(3, "abc")},
      {"speed with a point", with(3, "2.5")},
      {"speed two commas", with(3, "1,2,5")},
      {"speed 0", with(3, " 0 ")},
      {"speed 1001", with(3, " 1001 ")},
      {"speed beyond 16 bits", with(3, " 70000 ")},
      {"speed rounds to 0", with(3, "0,5")},
      {"key 7", with(4, " 7 ")},
      {"key -2", with(4, "-2 ")},
      {"key text", with(4, "F8")},
      {"mode 3", with(5, " 3 ")},
      {"mode -2", with(5, "-2 ")},
      {"mode 2,6 rounds to 3", with(5, "2,6")},
  };
  for (const Case& c : cases) EXPECT_FALSE(readSlot(c.bytes)) << c.what;
  EXPECT_TRUE(readSlot(with(-1, ""))) << "the good file itself";
}

}  // namespace
}  // namespace velmira::config
