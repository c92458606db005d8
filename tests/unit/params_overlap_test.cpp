// The overlap button: 20 % off the travel per frame, and what follows from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using Texts = std::vector<std::string>;

// Text3, Text6, Text7, Text8, Text4, Label17.
Texts seen(Form_Principal& f) {
  return {f.Text3.text(), f.Text6.text(), f.Text7.text(), f.Text8.text(), f.Text4.text(), f.Label17.caption()};
}

void fill(Form_Principal& f, const Texts& t) {
  f.Text3.setText(t[0]);
  f.Text6.setText(t[1]);
  f.Text7.setText(t[2]);
  f.Text8.setText(t[3]);
  f.Text4.setText(t[4]);
}

TEST(Overlap, OneClickShortensTheTravelAndRecomputesTheRest) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"40", "0,0125", "0,5", "12,5", "25"});
  f.SetFocus(f.Text4);
  f.C20.click();
  EXPECT_EQ(seen(f), (Texts{"32", "0,0125", "0,4", "10", "25", "25"}));
  EXPECT_EQ(f.Fotos_Recomendadas, 25);
  EXPECT_TRUE(rig.messages.shown.empty());
  EXPECT_EQ(f.focused(), &f.Text4) << "the button moves no focus";
}

TEST(Overlap, EveryClickTakesTwentyPercentOfWhatText7HoldsThen) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  fill(f, {"0", "0,01", "1", "0", "10"});
  Texts chain;
  for (int i = 0; i < 4; ++i) {
    f.C20.click();
    chain.push_back(f.Text7.text());
  }
  EXPECT_EQ(chain, (Texts{"0,8", "0,64", "0,512", "0,4096"}));
  EXPECT_EQ(f.Text3.text(), "40,96");
  EXPECT_EQ(f.Text8.text(), "4,096");
  EXPECT_EQ(f.Label17.caption(), "10");
}

TEST(Overlap, MissingValuesAreReportedAndNothingChanges) {
  struct Case {
    const char* what;
    Texts before;
    const char* message;
    const char* focus;
  };
  const Case cases[] = {
      {"Text7 0", {"40", "0,01", "0", "8", "25"}, "Falta Desplazamiento (mm)", "Text7"},
      {"Text7 empty", {"40", "0,01", "", "8", "25"}, "Falta Desplazamiento (mm)", "Text7"},
      {"Text6 0", {"40", "0", "0,5", "8", "25"}, "Falta milimetros por paso", "Text6"},
      {"Text6 0, Text7 not looked at", {"40", "0", "0", "8", "25"}, "Falta milimetros por paso", "Text6"},
      {"Text6 empty", {"40", "", "0,5", "8", "25"}, "Falta milimetros por paso", "Text6"},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    fill(f, c.before);
    f.C20.click();
    Texts after = c.before;
    after.push_back("");
    EXPECT_EQ(seen(f), after) << c.what;
    EXPECT_EQ(rig.messages.texts(), Texts{c.message}) << c.what;
    ASSERT_NE(f.focused(), nullptr) << c.what;
    EXPECT_EQ(f.focused()->name(), c.focus) << c.what;
    EXPECT_TRUE(f.Desplazamiento_Foto.isEmpty()) << c.what;
  }
}

TEST(Overlap, UnreadableInputsLeaveTheAffectedValuesAsTheyWere) {
  struct Case {
    const char* what;
    Texts before;
    Texts after;
  };
  const Case cases[] = {
      {"empty Text4: total and recommendation kept", {"40", "0,0125", "0,5", "8", ""},
       {"32", "0,0125", "0,4", "8", "", ""}},
      {"Text6 0,0: steps kept", {"40", "0,0", "0,5", "8", "25"}, {"40", "0,0", "0,4", "10", "25", "25"}},
      {"Text7 a lone comma: nothing to shorten", {"40", "0,01", ",", "8", "25"},
       {"40", "0,01", ",", "8", "25", ""}},
      {"Text7 0,0: total 0, no recommendation", {"40", "0,01", "0,0", "8", "25"},
       {"0", "0,01", "0", "0", "25", ""}},
      {"Text6 two commas", {"40", "1,,5", "0,5", "8", "25"}, {"40", "1,,5", "0,4", "10", "25", "25"}},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    fill(f, c.before);
    f.C20.click();
    EXPECT_EQ(seen(f), c.after) << c.what;
    EXPECT_TRUE(rig.messages.shown.empty()) << c.what;
  }
}

}  // namespace
}  // namespace velmira
