// Values set by code raise the user's handlers only when they change (the
// window as it is created: tests/scenarios/fields.scn).
#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

TEST(WindowModel, ValuesSetByCodeRaiseTheUsersHandlersOnlyOnChange) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  int checkClicks = 0, comboClicks = 0, scrollChanges = 0;
  f.Check1.onClick = [&] { ++checkClicks; };
  f.Combo1.onClick = [&] { ++comboClicks; };
  f.hscVelocidad.onChange = [&] { ++scrollChanges; };
  f.Check1.setValue(1);  // unchanged
  f.Check1.setValue(0);
  f.Check1.click();
  f.Combo1.setListIndex(2);
  f.Combo1.setListIndex(2);  // unchanged
  f.Combo1.setListIndex(9);  // no such item
  f.hscVelocidad.setValue(1);
  f.hscVelocidad.setValue(250);
  EXPECT_FALSE(f.hscVelocidad.setValue(1001));
  EXPECT_EQ(checkClicks, 2);
  EXPECT_EQ(comboClicks, 1);
  EXPECT_EQ(f.Combo1.text(), "F8");
  EXPECT_EQ(scrollChanges, 1);
  EXPECT_EQ(f.hscVelocidad.value(), 250);
}

}  // namespace
}  // namespace velmira
