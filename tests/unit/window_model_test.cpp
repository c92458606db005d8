// The main window as it is created, before the load handler runs.  Places,
// captions, fonts, colours and the tab order are checked as the user sees
// them, in the real window's tests.
#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

TEST(WindowModel, ANewWindowShowsTheInitialTexts) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  struct Case { TextBox* field; const char* text; };
  const Case cases[] = {{&f.Text3, "0"}, {&f.Text6, "0"}, {&f.Text7, "0"},  {&f.Text8, "0"},
                        {&f.Text9, "0"}, {&f.Text2, "0"}, {&f.Text4, "25"}, {&f.Text5, "1"},
                        {&f.Text10, "4"}, {&f.temEsp, "0"}, {&f.Nfotos, "0"}, {&f.Text_Mensajes, ""}};
  for (const Case& c : cases) EXPECT_EQ(c.field->text(), c.text) << c.field->name();
  EXPECT_EQ(f.lblVelocidad.caption(), "1");
  EXPECT_EQ(f.hscVelocidad.value(), 1);
  EXPECT_EQ(f.Label17.caption(), "");
  EXPECT_EQ(f.ComboBoxCOM.text(), "Seleccionar Puerto");
  EXPECT_EQ(f.ComboBoxCOM.listCount(), 0);
  for (ComboBox* c : {&f.Disparo, &f.Combo1}) {
    EXPECT_EQ(c->text(), "") << c->name();
    EXPECT_EQ(c->listIndex(), -1) << c->name();
  }
  EXPECT_EQ(f.Disparo.items()[0].text, "Programa(Tecla)");
  EXPECT_EQ(f.Disparo.items()[1].text, "Disparador");
  ASSERT_EQ(f.Combo1.listCount(), 7);
  EXPECT_EQ(f.Combo1.items()[6].text, "F12");
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(f.LED.fillColor(), 255u);
  EXPECT_FALSE(f.Label27.visible());
  // Before a mode is applied both shutter-mode groups are visible.
  for (Control* c : std::initializer_list<Control*>{&f.Label3, &f.Combo1, &f.EspL, &f.CheckEsp, &f.DLabel, &f.temEsp})
    EXPECT_TRUE(c->visible()) << c->name();
  EXPECT_EQ(f.CheckM2.value(), 1);
  EXPECT_EQ(f.CheckM1.value(), 0);
  EXPECT_EQ(f.CheckP4.value(), 1);
  EXPECT_EQ(f.CheckP3.value(), 0);
  EXPECT_EQ(f.Check1.value(), 1);
  EXPECT_EQ(f.CheckEsp.value(), 1);
  EXPECT_TRUE(f.Ultima_Fase.isEmpty());
  EXPECT_EQ(f.Parada, 0.0f);
  EXPECT_TRUE(f.Desplazamiento_Foto.isEmpty());
  EXPECT_EQ(f.Fotos_Recomendadas, 0);
  EXPECT_FALSE(f.MSComm_Puerto_Serie.isOpen());
}

TEST(WindowModel, EachFieldHasItsMaximumLength) {
  // What the user may type; the real window's tests type up to it.
  test::Rig rig;
  Form_Principal& f = rig.form();
  struct Case { TextBox* field; int max; };
  const Case cases[] = {{&f.temEsp, 1}, {&f.Text5, 2}, {&f.Text10, 2}, {&f.Text4, 3}, {&f.Nfotos, 3},
                        {&f.Text3, 6},  {&f.Text7, 6}, {&f.Text8, 6},  {&f.Text9, 6}, {&f.Text6, 7},
                        {&f.Text2, 7}};
  for (const Case& c : cases) EXPECT_EQ(c.field->maxLength(), c.max) << c.field->name();
}

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
