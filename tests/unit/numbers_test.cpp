#include "base/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale>

namespace velmira {
namespace {

TEST(LeadingNumber, ReadsTheNumberAtTheStartOfTheText) {
  struct Case { const char* text; double value; };
  const Case cases[] = {{"  12abc", 12}, {"2,5", 2},     {"2.5", 2.5}, {"-3", -3},   {"abc", 0},
                        {"", 0},         {"12,5", 12},   {"0,5", 0},   {"-", 0},     {"(COM12)", 0},
                        {"12)", 12},     {"3->COM9", 3}, {"1e3", 1000}, {"1e", 1},   {"9E999", 0},
                        {".5", 0.5},     {"+7", 7},      {"\t4", 4}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(leadingNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(TextToNumber, ReadsTheWholeTextWithADecimalComma) {
  struct Case { const char* text; double value; };
  const Case cases[] = {{"0,0125", 0.0125}, {" 12 ", 12}, {"-1", -1},  {"1E-05", 1e-05}, {"1,5E+15", 1.5e15},
                        {"33,3333333333333", 33.3333333333333}, {",5", 0.5}, {"00", 0}, {"0,0", 0}, {"1,", 1}};
  for (const Case& c : cases) {
    std::optional<double> v = textToNumber(c.text);
    ASSERT_TRUE(v) << c.text;
    EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
  }
}

TEST(TextToNumber, RefusesWhatIsNoNumber) {
  for (const char* text : {"", " ", ",", "1,2,3", "2.5", "abc", "12abc", "1E", "--1", "1E999"})
    EXPECT_FALSE(textToNumber(text)) << '"' << text << '"';
}

TEST(NumberToText, WritesFifteenSignificantDigitsWithAComma) {
  struct Case { double value; const char* text; };
  const Case cases[] = {{0, "0"},
                        {-0.0, "0"},
                        {5, "5"},
                        {-5, "-5"},
                        {0.5, "0,5"},
                        {12.5, "12,5"},
                        {0.0125 * 40, "0,5"},
                        {1.0 / 3, "0,333333333333333"},
                        {1 / 0.03, "33,3333333333333"},
                        {0.00001, "1E-05"},
                        {0.0001, "0,0001"},
                        {1e15, "1E+15"},
                        {1.5e15, "1,5E+15"},
                        {123456789012345, "123456789012345"},
                        {2.0 / 3, "0,666666666666667"},
                        {0.8 * 0.8, "0,64"},
                        {-1.25e-7, "-1,25E-07"},
                        {1e100, "1E+100"}};
  for (const Case& c : cases) EXPECT_EQ(numberToText(c.value), c.text) << c.value;
}

TEST(NumberToText, ReadsBackToFifteenDigits) {
  for (double v : {0.0125, 1e-05, 1.5e15, -3.25, 1.0 / 7, 123456.789, 6.02214076e23}) {
    std::optional<double> back = textToNumber(numberToText(v));
    ASSERT_TRUE(back) << numberToText(v);
    EXPECT_NEAR(*back, v, std::fabs(v) * 1e-14) << numberToText(v);
  }
}

TEST(WholeNumbers, RoundHalvesToEvenAndRefuseOutOfRange) {
  struct Case { double value; std::optional<int32_t> i32; std::optional<int16_t> i16; };
  const Case cases[] = {{2.5, 2, 2},
                        {3.5, 4, 4},
                        {-2.5, -2, -2},
                        {0.4999, 0, 0},
                        {1.5, 2, 2},
                        {32767.4, 32767, 32767},
                        {32767.5, 32768, std::nullopt},
                        {-32768.5, -32768, -32768},
                        {2147483647.4, 2147483647, std::nullopt},
                        {2147483647.5, std::nullopt, std::nullopt},
                        {-2147483648.0, -2147483647 - 1, std::nullopt},
                        {INFINITY, std::nullopt, std::nullopt},
                        {NAN, std::nullopt, std::nullopt}};
  for (const Case& c : cases) {
    EXPECT_EQ(toInt32(c.value), c.i32) << c.value;
    EXPECT_EQ(toInt16(c.value), c.i16) << c.value;
  }
  EXPECT_EQ(intToText(-12), "-12");
  EXPECT_EQ(intToText(250), "250");
}

// The field filters only admit the comma, so the conversions must use the
// comma whatever the machine's locale: under a point-decimal locale "0,0125"
// would otherwise read as 125.
class PointDecimal : public std::numpunct<char> {
  char do_decimal_point() const override { return '.'; }
  char do_thousands_sep() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(Conversions, IgnoreTheLocaleOfTheMachine) {
  const std::locale old = std::locale::global(std::locale(std::locale::classic(), new PointDecimal));
  for (const char* cLocale : {"C", "C.UTF-8"}) {
    std::setlocale(LC_ALL, cLocale);
    EXPECT_DOUBLE_EQ(*textToNumber("0,0125"), 0.0125) << cLocale;
    EXPECT_FALSE(textToNumber("0.0125")) << cLocale;
    EXPECT_EQ(numberToText(0.0125), "0,0125") << cLocale;
    EXPECT_EQ(numberToText(1234567.5), "1234567,5") << cLocale;
    EXPECT_DOUBLE_EQ(leadingNumber("2.5"), 2.5) << cLocale;
  }
  std::setlocale(LC_ALL, "C");
  std::locale::global(old);
}

}  // namespace
}  // namespace velmira
