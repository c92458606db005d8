// Port discovery, connecting and disconnecting, on the fakes.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/posix_serial_port.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

struct Listed {
  std::string text;
  int32_t data;
  bool operator==(const Listed&) const = default;
};

std::vector<Listed> listOf(const ComboBox& c) {
  std::vector<Listed> out;
  for (const auto& i : c.items()) out.push_back({i.text, i.data});
  return out;
}

TEST(PortScan, ListsNamesWithUpperCaseComAndTakesTheNumberBehindTheLastCom) {
  test::Rig rig;
  rig.devices.names = {"Arduino Uno (ttyACM0) (COM3)", "Teclado USB", "Puerto com (COM5) lower",
                       "modem (com7)",                "Adaptador (COM3->COM9)", "COMPUTADORA",
                       "Bridge (COM12)",              "Enorme (COM99999)"};
  rig.form().BuscarPuerto_Click();
  EXPECT_EQ(listOf(rig.form().ComboBoxCOM), (std::vector<Listed>{{"Arduino Uno (ttyACM0) (COM3)", 3},
                                                                 {"Puerto com (COM5) lower", 5},
                                                                 {"Adaptador (COM3->COM9)", 9},
                                                                 {"COMPUTADORA", 0},
                                                                 {"Bridge (COM12)", 12},
                                                                 {"Enorme (COM99999)", 0}}));
  EXPECT_EQ(rig.form().ComboBoxCOM.text(), "Seleccionar Puerto");
  EXPECT_EQ(rig.form().Ultima_Fase.toText(), "d");
}

TEST(PortScan, WithoutPortsTheControlsAreDisabledAndTheMessageHasTwoFullStops) {
  for (bool enumerationFails : {false, true}) {
    test::Rig rig;
    rig.devices.names = {"Teclado", "modem (com1)"};
    rig.devices.fails = enumerationFails;
    Form_Principal& f = rig.form();
    f.BuscarPuerto_Click();
    EXPECT_EQ(f.ComboBoxCOM.listCount(), 0);
    EXPECT_EQ(f.ComboBoxCOM.text(), "");
    EXPECT_FALSE(f.ComboBoxCOM.enabled());
    EXPECT_FALSE(f.Command_CONECTAR.enabled());
    EXPECT_EQ(f.Text_Mensajes.text(), "ERROR \r\nNo se encontraron puertos COM..");
    EXPECT_TRUE(f.Text_Mensajes.font().bold);
    EXPECT_EQ(f.Text_Mensajes.font().size, 10);
    EXPECT_TRUE(f.Ultima_Fase.isEmpty());
  }
}

TEST(PortScan, ASecondScanListsEveryPortAgainAndASuccessKeepsTheOldErrorText) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.BuscarPuerto_Click();  // none
  rig.devices.names = {"A (COM1)", "B (COM2)"};
  f.BuscarPuerto_Click();
  f.BuscarPuerto_Click();
  EXPECT_EQ(listOf(f.ComboBoxCOM),
            (std::vector<Listed>{{"A (COM1)", 1}, {"B (COM2)", 2}, {"A (COM1)", 1}, {"B (COM2)", 2}}));
  EXPECT_TRUE(f.ComboBoxCOM.enabled());
  EXPECT_TRUE(f.Command_CONECTAR.enabled());
  EXPECT_EQ(f.Text_Mensajes.text(), "ERROR \r\nNo se encontraron puertos COM..");
  EXPECT_TRUE(f.Text_Mensajes.font().bold);
}

TEST(Connect, OpensThePortOfTheSelectedItemAndSwitchesTheMotorOff) {
  test::Rig rig;
  rig.devices.names = {"A (COM1)", "B (COM7)"};
  Form_Principal& f = rig.form();
  f.BuscarPuerto_Click();
  f.ComboBoxCOM.setListIndex(1);
  f.Command_CONECTAR.click();
  EXPECT_EQ(rig.transcript.all(), (std::vector<std::string>{"open 7", "settings 9600,N,8,1", "write p"}));
  EXPECT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
  EXPECT_FALSE(f.ComboBoxCOM.enabled());
  EXPECT_FALSE(f.BuscarPuerto.enabled());
  EXPECT_EQ(f.Text_Mensajes.text(), "Conectado");
  EXPECT_EQ(f.Parada, 1.0f);
  EXPECT_EQ(f.LED.fillColor(), kRed);
  EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(Connect, FailuresShowErrorAndLeaveTheWindowReadyWithThePortClosed) {
  struct Case { const char* name; int select; bool openFails; };
  const Case cases[] = {{"nothing selected", -1, false}, {"port absent", 0, false}, {"port busy", 1, true}};
  for (const Case& c : cases) {
    test::Rig rig;
    rig.devices.names = {"Fantasma (COM30)", "Ocupado (COM3)"};
    if (c.openFails) rig.serial.openFailure = "Puerto en uso";
    Form_Principal& f = rig.form();
    f.BuscarPuerto_Click();
    f.ComboBoxCOM.setListIndex(c.select);
    f.Command_CONECTAR.click();
    ASSERT_EQ(rig.messages.shown.size(), 1u) << c.name;
    EXPECT_EQ(rig.messages.shown[0].text, "Error!") << c.name;
    EXPECT_EQ(rig.messages.shown[0].title, "velmira") << c.name;
    EXPECT_EQ(rig.messages.shown[0].icon, platform::Icon::Critical) << c.name;
    EXPECT_FALSE(f.MSComm_Puerto_Serie.isOpen()) << c.name;
    EXPECT_EQ(rig.line(), "") << c.name;
    EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR") << c.name;
    EXPECT_TRUE(f.ComboBoxCOM.enabled()) << c.name;
    EXPECT_TRUE(f.BuscarPuerto.enabled()) << c.name;
    EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado") << c.name;
  }
}

TEST(Connect, DisconnectingSendsPWaitsThreeHundredMillisecondsAndCloses) {
  test::Rig rig;
  rig.connect();
  Form_Principal& f = rig.form();
  f.LED.setFillColor(kGreen);
  rig.transcript.entries.clear();
  f.Command_CONECTAR.click();
  EXPECT_EQ(rig.transcript.all(), (std::vector<std::string>{"write p", "sleep 300", "close"}));
  EXPECT_EQ(f.LED.fillColor(), kRed);
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_TRUE(f.ComboBoxCOM.enabled());
  EXPECT_FALSE(f.BuscarPuerto.enabled());  // never enabled again
  EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
}

TEST(Connect, AfterALinkFailureTheNextClickClosesThePortAndTheOneAfterConnects) {
  test::Rig rig;
  rig.devices.names = {"A (COM3)", "B (COM5)"};
  Form_Principal& f = rig.form();
  f.BuscarPuerto_Click();
  rig.connect();
  f.Mostrar_Fallo_Enlace(platform::Failure("Error de E/S"), true);
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_TRUE(f.MSComm_Puerto_Serie.isOpen());
  // A selection while the port is still open is kept for the next connect.
  f.ComboBoxCOM.setListIndex(1);
  EXPECT_EQ(f.MSComm_Puerto_Serie.portNumber(), 3);
  rig.transcript.entries.clear();
  f.Command_CONECTAR.click();
  EXPECT_EQ(rig.transcript.all(), (std::vector<std::string>{"write p", "sleep 300", "close"}));
  f.Command_CONECTAR.click();
  EXPECT_EQ(rig.transcript.all(), (std::vector<std::string>{"write p", "sleep 300", "close", "open 5",
                                                            "settings 9600,N,8,1", "write p"}));
  EXPECT_EQ(f.Command_CONECTAR.caption(), "DESCONECTAR");
}

TEST(Connect, TheFailureBoxCarriesTheCauseTheLinkKnows) {
  struct Case { int err; const char* part; };
  const Case cases[] = {{EACCES, "sudo usermod -aG dialout $USER"},
                        {EBUSY, "ModemManager"},
                        {EIO, "ya no está conectado"}};
  for (const Case& c : cases) {
    test::Rig rig;
    rig.devices.names = {"A (COM3)"};
    rig.serial.openFailure = "No se puede abrir el puerto";
    rig.serial.openFailureDetail = platform::failureDetail(c.err);
    rig.form().BuscarPuerto_Click();
    rig.form().ComboBoxCOM.setListIndex(0);
    rig.form().Command_CONECTAR.click();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, "Error!");
    EXPECT_NE(rig.messages.shown[0].detail.find(c.part), std::string::npos) << rig.messages.shown[0].detail;
    EXPECT_EQ(rig.form().Text_Mensajes.text(), "Desconectado");
  }
}

}  // namespace
}  // namespace velmira
