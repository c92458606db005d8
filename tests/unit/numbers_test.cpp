// The field filters only admit the comma, so the conversions must use the
// comma whatever the machine's locale: under a point-decimal locale "0,0125"
// would otherwise read as 125.  (The conversions' tables: tests/scenarios/fields.scn.)
#include <gtest/gtest.h>

#include <clocale>
#include <locale>

#include "base/numbers.h"

namespace velmira {
namespace {

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
