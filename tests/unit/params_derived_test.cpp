// Whatever is pasted into the stack fields, Enter and the overlap button
// never fail (the derived values case by case: tests/scenarios/fields.scn).
#include <gtest/gtest.h>

#include <random>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

// Pasted texts in the stack fields, then Enter or the overlap button: the
// handlers never fail, the recommendation stays a whole number, and every
// field they write holds a number again.
TEST(DerivedValues, PastedTextsNeverMakeTheHandlersFail) {
  std::mt19937 rng(31337);
  test::Rig rig;
  Form_Principal& f = rig.form();
  TextBox* const fields[] = {&f.Text3, &f.Text6, &f.Text7, &f.Text8, &f.Text4};
  static const char* const kValues[] = {"", "0", "00", "0,0", ",", "1,,2", "40", "0,0125", "25", "1E300", "-3",
                                        "0,0001", "999999", "abc", " 7 ", "1E-300", "1\r\n2", "\xBA", "+-", "2e", "0,5E3"};
  for (int i = 0; i < 4000; ++i) {
    for (TextBox* t : fields)
      if (rng() % 2) t->setText(kValues[rng() % std::size(kValues)]);
    const std::string before[3] = {f.Text3.text(), f.Text7.text(), f.Text8.text()};
    const int action = static_cast<int>(rng() % 6);
    if (action == 5) f.C20.click();
    else f.keyPress(*fields[action], 13);
    const std::string& rec = f.Label17.caption();
    if (!rec.empty()) {
      ASSERT_EQ(intToText(f.Fotos_Recomendadas), rec);
    }
    const TextBox* written[3] = {&f.Text3, &f.Text7, &f.Text8};
    for (int k = 0; k < 3; ++k) {
      if (written[k]->text() != before[k]) {
        ASSERT_TRUE(textToNumber(written[k]->text())) << written[k]->text();
      }
    }
  }
}

}  // namespace
}  // namespace velmira
