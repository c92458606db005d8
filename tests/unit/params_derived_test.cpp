// Enter in the five stack fields: the derived values, the messages for
// missing inputs, where the focus ends, and the inputs nobody checks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using Texts = std::vector<std::string>;

struct Stack {
  const char* text3;
  const char* text6;
  const char* text7;
  const char* text8;
  const char* text4;
};

// What the user sees of the stack: Text3, Text6, Text7, Text8, Text4, Label17.
Texts seen(Form_Principal& f) {
  return {f.Text3.text(), f.Text6.text(), f.Text7.text(), f.Text8.text(), f.Text4.text(), f.Label17.caption()};
}

void fill(Form_Principal& f, const Stack& s) {
  f.Text3.setText(s.text3);
  f.Text6.setText(s.text6);
  f.Text7.setText(s.text7);
  f.Text8.setText(s.text8);
  f.Text4.setText(s.text4);
}

TextBox& field(Form_Principal& f, const std::string& name) { return static_cast<TextBox&>(*f.control(name)); }

// The user presses Enter in `name`, which has the focus.
void enter(Form_Principal& f, const std::string& name) {
  TextBox& t = field(f, name);
  f.SetFocus(t);
  f.keyPress(t, 13);
}

struct Case {
  const char* what;
  Stack before;
  const char* enterIn;
  Texts after;           // Text3, Text6, Text7, Text8, Text4, Label17
  Texts messages;
  const char* focus;     // control with the focus afterwards
};

void check(const Case& c) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, c.before);
  enter(f, c.enterIn);
  EXPECT_EQ(seen(f), c.after) << c.what;
  EXPECT_EQ(rig.messages.texts(), c.messages) << c.what;
  ASSERT_NE(f.focused(), nullptr) << c.what;
  EXPECT_EQ(f.focused()->name(), c.focus) << c.what;
  for (const auto& box : rig.messages.shown) EXPECT_EQ(box.title, "Velmira") << c.what;
}

TEST(DerivedValues, EnterRecomputesFromTheConfirmedField) {
  const Case cases[] = {
      {"steps x mm per step", {"40", "0,0125", "0", "0", "25"}, "Text3",
       {"40", "0,0125", "0,5", "12,5", "25", "25"}, {}, "Text6"},
      {"the same from Text6", {"40", "0,0125", "0", "0", "25"}, "Text6",
       {"40", "0,0125", "0,5", "12,5", "25", "25"}, {}, "Text7"},
      {"fractional steps, 15 digits", {"0", "0,03", "1", "0", "25"}, "Text7",
       {"33,3333333333333", "0,03", "1", "25", "25", "25"}, {}, "C20"},
      {"exponent form", {"1", "0,00001", "0", "0", "25"}, "Text3",
       {"1", "0,00001", "1E-05", "0,00025", "25", "25"}, {}, "Text6"},
      {"recommendation 2,5 rounds to 2", {"0", "0,01", "4", "10", "25"}, "Text8",
       {"0", "0,01", "4", "10", "25", "2"}, {}, "hscVelocidad"},
      {"recommendation 3,5 rounds to 4", {"0", "0,01", "4", "14", "25"}, "Text8",
       {"0", "0,01", "4", "14", "25", "4"}, {}, "hscVelocidad"},
      {"frames x travel, no recommendation", {"0", "0,01", "7", "7", "10"}, "Text4",
       {"0", "0,01", "0", "0", "10", ""}, {}, "Disparo"},
      {"Text4 with the default stack", {"40", "0,0125", "0", "0", "30"}, "Text4",
       {"40", "0,0125", "0,5", "15", "30", ""}, {}, "Disparo"},
      {"00 is given", {"00", "0,01", "9", "9", "25"}, "Text3",
       {"00", "0,01", "0", "0", "25", ""}, {}, "Text6"},
  };
  for (const Case& c : cases) check(c);
}

TEST(DerivedValues, MissingInputsAreReportedAndTheFocusEndsWhereTheStepSays) {
  const Case cases[] = {
      {"Text3 holds 0", {"0", "0,0125", "3", "4", "25"}, "Text3",
       {"0", "0,0125", "3", "4", "25", ""}, {"Falta Nº pasos"}, "Text3"},
      {"Text3 empty", {"", "0,0125", "3", "4", "25"}, "Text3",
       {"", "0,0125", "3", "4", "25", ""}, {"Falta Nº pasos"}, "Text3"},
      {"Text6 missing at Text3", {"40", "0", "3", "4", "25"}, "Text3",
       {"40", "0", "3", "4", "25", ""}, {"Falta milimetros por paso"}, "Text6"},
      {"Text6 holds 0", {"40", "0", "3", "4", "25"}, "Text6",
       {"40", "0", "3", "4", "25", ""}, {"Falta milimetros por paso"}, "Text6"},
      {"Text3 missing at Text6", {"0", "0,01", "3", "4", "25"}, "Text6",
       {"0", "0,01", "3", "4", "25", ""}, {"Falta Nº de pasos"}, "Text3"},
      {"Text6 missing at Text7", {"40", "", "3", "4", "25"}, "Text7",
       {"40", "", "3", "4", "25", ""}, {"Falta milimetros por paso"}, "Text6"},
      {"Text7 missing at Text7", {"40", "0,01", "0", "4", "25"}, "Text7",
       {"40", "0,01", "0", "4", "25", ""}, {"Falta Desplazamiento (mm)"}, "Text7"},
      {"Text7 missing at Text8: focus stays", {"40", "0,01", "0", "4", "25"}, "Text8",
       {"40", "0,01", "0", "4", "25", ""}, {"Faltan datos"}, "Text8"},
      {"both missing at Text8", {"40", "0", "0", "4", "25"}, "Text8",
       {"40", "0", "0", "4", "25", ""}, {"Faltan datos", "Falta milimetros por paso"}, "Text6"},
      {"Text6 missing at Text8 only", {"40", "0", "4", "10", "25"}, "Text8",
       {"40", "0", "4", "10", "25", "2"}, {"Falta milimetros por paso"}, "Text6"},
      {"Text3 empty at Text4", {"", "0,01", "3", "4", "25"}, "Text4",
       {"", "0,01", "3", "4", "25", ""}, {"Faltan datos"}, "Text4"},
      {"Text6 empty at Text4", {"40", "", "3", "4", "25"}, "Text4",
       {"40", "", "3", "4", "25", ""}, {"Faltan datos"}, "Text4"},
  };
  for (const Case& c : cases) check(c);
}

TEST(DerivedValues, AfterARefusedInnerCheckTheTotalFollowsTheLastTravelPerFrame) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"40", "0,0125", "0", "0", "25"});
  enter(f, "Text3");
  ASSERT_EQ(seen(f), (Texts{"40", "0,0125", "0,5", "12,5", "25", "25"}));
  f.Text6.setText("");
  f.Text4.setText("30");
  enter(f, "Text3");
  EXPECT_EQ(rig.messages.texts(), Texts{"Falta milimetros por paso"});
  EXPECT_EQ(f.focused(), &f.Text6);
  EXPECT_EQ(seen(f), (Texts{"40", "", "0,5", "15", "30", "30"}));
  EXPECT_EQ(f.Fotos_Recomendadas, 30);
}

TEST(DerivedValues, Text7MissingGoesOnWithTheFramesOfBefore) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"40", "0,0125", "0", "0", "25"});
  enter(f, "Text6");  // travel per frame 0,5, 25 frames
  f.Text7.setText("0");
  f.Text4.setText("40");  // not read: Text7 refused
  enter(f, "Text7");
  EXPECT_EQ(rig.messages.texts(), Texts{"Falta Desplazamiento (mm)"});
  EXPECT_EQ(f.focused(), &f.Text7);
  EXPECT_EQ(seen(f), (Texts{"40", "0,0125", "0", "12,5", "40", "25"}));
}

// The inputs nobody checks: no message, the value that cannot be computed
// and what follows from it keep what they showed, nothing breaks.
TEST(DerivedValues, UnreadableInputsLeaveTheAffectedValuesAsTheyWere) {
  const Case cases[] = {
      {"two commas in Text6", {"40", "1,2,3", "7", "8", "25"}, "Text3",
       {"40", "1,2,3", "7", "8", "25", ""}, {}, "Text6"},
      {"a lone comma in Text3", {",", "0,01", "7", "8", "25"}, "Text6",
       {",", "0,01", "7", "8", "25", ""}, {}, "Text7"},
      {"empty Text4: travel computed, total kept", {"40", "0,0125", "7", "8", ""}, "Text3",
       {"40", "0,0125", "0,5", "8", "", ""}, {}, "Text6"},
      {"pasted letters in Text4", {"40", "0,0125", "7", "8", "abc"}, "Text4",
       {"40", "0,0125", "0,5", "8", "abc", ""}, {}, "Disparo"},
      {"divisor 0,0 in Text6: steps kept", {"5", "0,0", "1", "8", "25"}, "Text7",
       {"5", "0,0", "1", "25", "25", "25"}, {}, "C20"},
      {"travel 0,0 at Text8: no recommendation", {"5", "0,01", "0,0", "8", "25"}, "Text8",
       {"5", "0,01", "0,0", "8", "25", ""}, {}, "hscVelocidad"},
      {"empty Text8", {"5", "0,01", "4", "", "25"}, "Text8",
       {"5", "0,01", "4", "", "25", ""}, {}, "hscVelocidad"},
      {"travel 00 per frame: total 0, recommendation kept", {"5", "0,01", "00", "8", "25"}, "Text7",
       {"0", "0,01", "00", "0", "25", ""}, {}, "C20"},
      {"recommendation beyond 32 bits", {"5", "0,01", "0,0001", "999999", "25"}, "Text8",
       {"5", "0,01", "0,0001", "999999", "25", ""}, {}, "hscVelocidad"},
      {"frames beyond a single", {"40", "0,0125", "7", "8", "1E39"}, "Text3",
       {"40", "0,0125", "0,5", "8", "1E39", ""}, {}, "Text6"},
  };
  for (const Case& c : cases) check(c);
}

TEST(DerivedValues, TheTravelPerFrameStillEmptyLeavesTheTotalAlone) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"40", "0", "0", "10", "25"});  // the user typed the total
  enter(f, "Text3");
  EXPECT_EQ(rig.messages.texts(), Texts{"Falta milimetros por paso"});
  EXPECT_EQ(seen(f), (Texts{"40", "0", "0", "10", "25", ""}));
  EXPECT_TRUE(f.Desplazamiento_Total.isEmpty());
  EXPECT_EQ(f.Fotos_Recomendadas, 0);
}

TEST(DerivedValues, AFailedRecommendationKeepsThePreviousOne) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"40", "0,01", "4", "10", "25"});
  enter(f, "Text8");
  ASSERT_EQ(f.Label17.caption(), "2");
  f.Text7.setText("0,0001");
  f.Text8.setText("999999");
  enter(f, "Text8");
  EXPECT_EQ(f.Label17.caption(), "2");
  EXPECT_EQ(f.Fotos_Recomendadas, 2);
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(DerivedValues, ANoNumberTravelLeftFromBeforeBreaksNothingLater) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"40", "0,01", "1,,2", "10", "25"});
  enter(f, "Text8");  // Desplazamiento_Foto now holds the text 1,,2
  f.Text6.setText("0");
  enter(f, "Text3");  // refused inner check: the total would come from it
  EXPECT_EQ(rig.messages.texts(), Texts{"Falta milimetros por paso"});
  EXPECT_EQ(seen(f), (Texts{"40", "0", "1,,2", "10", "25", ""}));
}

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
