#include "app/numbers.h"

#include <gtest/gtest.h>

namespace velmira {
namespace {

TEST(LeadingNumber, ReadsTheNumberAtTheStartOfTheText) {
  struct Case { const char* text; double value; };
  const Case cases[] = {{"  12abc", 12}, {"2,5", 2}, {"2.5", 2.5}, {"-3", -3}, {"abc", 0}, {"", 0}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(leadingNumber(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace velmira
