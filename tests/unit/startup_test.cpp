// Start-up: centring, background picture, single instance, port scan.
#include <gtest/gtest.h>

#include <functional>

#include "notes/f_notas.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "JFIF";

TEST(StartUp, WithNothingBesideTheProgramAndNoPortTheUserIsToldAndTheWindowSaysSo) {
  test::Rig rig;
  ASSERT_TRUE(rig.start());
  Form_Principal& f = rig.form();
  EXPECT_EQ(rig.messages.texts(),
            (std::vector<std::string>{"No existe imagen de fondo", "No existe archivo de configuración"}));
  EXPECT_EQ(rig.messages.shown[0].title, "Velmira");
  EXPECT_EQ(rig.messages.shown[0].icon, platform::Icon::None);
  EXPECT_TRUE(f.Label27.visible());
  EXPECT_TRUE(f.Label3.visible());
  EXPECT_TRUE(f.Combo1.visible());
  for (Control* c : std::initializer_list<Control*>{&f.EspL, &f.CheckEsp, &f.DLabel, &f.temEsp})
    EXPECT_FALSE(c->visible()) << c->name();
  EXPECT_FALSE(f.ComboBoxCOM.enabled());
  EXPECT_FALSE(f.Command_CONECTAR.enabled());
  EXPECT_EQ(f.ComboBoxCOM.text(), "");
  EXPECT_EQ(f.Text_Mensajes.text(), "ERROR \r\nNo se encontraron puertos COM.");
  EXPECT_TRUE(f.Text_Mensajes.font().bold);
  EXPECT_EQ(f.Text_Mensajes.font().size, 10);
  EXPECT_TRUE(f.Ultima_Fase.isEmpty());
  EXPECT_EQ(f.caption(), "Velmira v.101");
  EXPECT_TRUE(f.shown());
  EXPECT_TRUE(rig.line().empty());  // start-up never sends anything
}

TEST(StartUp, CentresTheWindowByItsOuterSize) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.initOuterSize(10455 + 120, 8100 + 450);
  rig.start();
  EXPECT_EQ(f.Left, static_cast<int>(15360 / 2.0 - 10575 / 2.0));
  EXPECT_EQ(f.Top, static_cast<int>(11520 / 2.0 - 8550 / 2.0));
  // The picture covers the outer size, from the first show on.
  EXPECT_EQ(f.Image1.geometry(), (Geometry{0, 0, 10575, 8550}));
  f.setOuterSize(12000, 9000);
  EXPECT_EQ(f.Image1.geometry(), (Geometry{0, 0, 12000, 9000}));
}

TEST(StartUp, ABackgroundPictureIsStretchedOverTheWindowWithoutAMessage) {
  test::Rig rig;
  rig.writeFile("MiImagen.jpg", kJpeg);
  rig.start();
  Form_Principal& f = rig.form();
  EXPECT_TRUE(f.Image1.stretch());
  EXPECT_EQ(f.Image1.picture(), rig.dir() + "/MiImagen.jpg");
  EXPECT_FALSE(f.Label27.visible());
  EXPECT_EQ(rig.messages.texts(), (std::vector<std::string>{"No existe archivo de configuración"}));
}

TEST(StartUp, AFileNamedLikeThePictureThatHoldsNoPictureDoesNotStopTheStart) {
  test::Rig rig;
  rig.writeFile("MiImagen.jpg", "this is text, not a picture");
  ASSERT_TRUE(rig.start());
  Form_Principal& f = rig.form();
  EXPECT_EQ(f.Image1.picture(), "");
  EXPECT_TRUE(f.Label27.visible());
  ASSERT_GE(rig.messages.texts().size(), 1u);
  EXPECT_EQ(rig.messages.texts()[0], "La imagen de fondo MiImagen.jpg no se puede leer.");
  EXPECT_TRUE(f.shown());
}

TEST(StartUp, WithAPortTheKeyBecomesF8AndThePhaseD) {
  test::Rig rig;
  rig.devices.names = {"USB-SERIAL CH340 (COM4)"};
  rig.start();
  Form_Principal& f = rig.form();
  EXPECT_EQ(f.Combo1.text(), "F8");
  EXPECT_EQ(f.Combo1.listIndex(), 2);
  EXPECT_EQ(f.Ultima_Fase.toText(), "d");
  EXPECT_EQ(f.ComboBoxCOM.text(), "Seleccionar Puerto");
  EXPECT_EQ(f.ComboBoxCOM.listIndex(), -1);
  EXPECT_TRUE(f.ComboBoxCOM.enabled());
  EXPECT_EQ(f.Text_Mensajes.text(), "");
}

TEST(StartUp, TheKeyOfSlotOneLastsOnlyWithoutAPort) {
  const std::string slot = "0,0125\r\n1\r\n4\r\n 1 \r\n 4 \r\n 0 \r\n0\r\n";
  for (bool port : {true, false}) {
    test::Rig rig;
    rig.writeFile("configuracion.ini", slot);
    if (port) rig.devices.names = {"Puerto de comunicaciones (COM1)"};
    rig.start();
    EXPECT_EQ(rig.form().Combo1.text(), port ? "F8" : "F10");
  }
}

TEST(StartUp, ASecondInstanceBringsTheFirstForwardAndEndsWithoutAWindow) {
  test::Rig rig;
  rig.instance.running = true;
  rig.devices.names = {"Puerto (COM1)"};
  EXPECT_FALSE(rig.start());
  Form_Principal& f = rig.form();
  // The boxes of the stages before the check were shown first.
  EXPECT_EQ(rig.messages.texts(),
            (std::vector<std::string>{"No existe imagen de fondo", "No existe archivo de configuración"}));
  EXPECT_EQ(rig.instance.activated, (std::vector<std::string>{"Velmira"}));
  EXPECT_EQ(rig.process.titleText, "No longer want this app running...");
  EXPECT_EQ(rig.process.ended, 1);
  EXPECT_FALSE(f.shown());
  EXPECT_EQ(f.ComboBoxCOM.listCount(), 0);  // the scan never ran
}

// Where the notes window opens and that it reads its file once per load
// are checked on screen, in the real window's tests.
TEST(StartUp, TheNotesWindowShowsItsFileInEitherEncodingOrSaysItIsMissing) {
  struct Case { const char* file; const char* shown; };
  const Case cases[] = {
      {"Conexi\xF3n del motor\r\nPaso 2", "Conexión del motor\r\nPaso 2"},  // Windows-1252
      {"Conexión", "Conexión"},                                               // UTF-8
      {nullptr, "No se encuentra el archivo de notas \"Notas.txt\" en la carpeta actual."},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    if (c.file) rig.writeFile("Notas.txt", c.file);
    rig.start();
    rig.form().Notas.click();
    EXPECT_TRUE(rig.form().notas().visible());
    EXPECT_EQ(rig.form().notas().L_Notas.caption(), c.shown);
  }
}

TEST(StartUp, TheCloseBoxAndAnEndFromOutsideLeaveTheControllerSafe) {
  struct Case {
    const char* name;
    bool connect;
    bool shutterHeld;
    std::function<void(Form_Principal&)> end;
    const char* line;  // after the connect's "p"
  };
  const Case cases[] = {
      {"close box", true, false, [](Form_Principal& f) { f.Form_Unload(); }, "p"},
      {"close box, shutter held", true, true, [](Form_Principal& f) { f.Form_Unload(); }, "rsp"},
      {"signal, shutter held", true, true, [](Form_Principal& f) { f.Terminar_Programa(); }, "rsp"},
      {"signal, not connected", false, false, [](Form_Principal& f) { f.Terminar_Programa(); }, ""},
      {"exit, shutter held", true, true, [](Form_Principal& f) { f.Salir_Click(); }, "rsp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Rig rig;
    rig.devices.names = {"Puerto (COM3)"};
    rig.start();
    if (c.connect) rig.connect();
    if (c.shutterHeld) rig.form().Enviar("r");
    const std::string before = rig.line();
    EXPECT_THROW(c.end(rig.form()), ProgramEnded);
    EXPECT_EQ(rig.line(), std::string(c.connect ? "p" : "") + c.line);
    EXPECT_FALSE(rig.serial.isOpen()) << "closed after its output drained";
    EXPECT_EQ(rig.form().Parada, 1.0f);
    EXPECT_EQ(rig.process.ended, 1);
  }
}

}  // namespace
}  // namespace velmira
