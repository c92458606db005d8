// The positioning move, the stop buttons, zeroing, speed and direction.
#include <gtest/gtest.h>

#include <cstring>

#include "motion/motion.h"
#include "tests/unit/motion_support.h"

namespace velmira::test {
namespace {

using Strings = std::vector<std::string>;

class Mover : public MotionRig {};

TEST_F(Mover, StepsThroughThePhaseOrderAndCountsThePositionAfterEveryLetter) {
  struct Case {
    const char* fase;
    bool atras;
    const char* pasos;
    const char* posicion;
    const char* letras;
    Strings posiciones;
    const char* mensaje;
  };
  const Case cases[] = {
      {"d", false, "5", "0", "abcda", {"1", "2", "3", "4", "5"}, "Moviendo hacia adelante"},
      {"a", true, "6", "2", "dcbadc", {"1", "0", "-1", "-2", "-3", "-4"}, "Moviendo hacia atras"},
      {"d", true, "3", "0", "cba", {"-1", "-2", "-3"}, "Moviendo hacia atras"},
      {"b", false, "2.7", "7", "cd", {"8", "9"}, "Moviendo hacia adelante"},      // whole part only
      {"c", false, "3", "abc", "dab", {"1", "2", "3"}, "Moviendo hacia adelante"},  // no number: from 0
      {"a", false, "0.5", "4", "", {}, "Moviendo hacia adelante"},                // below 1: no step
      {"", false, "1", "0", "a", {"1"}, "Moviendo hacia adelante"},  // no phase yet: taken to be "d"
      {"", true, "1", "0", "c", {"-1"}, "Moviendo hacia atras"},
  };
  conectar();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fase) + " " + c.pasos);
    f.Ultima_Fase = Variant::text(c.fase);
    f.CheckP3.setValue(c.atras ? 1 : 0);
    f.Text9.setText(c.pasos);
    f.Text2.setText(c.posicion);
    rig.transcript.entries.clear();
    f.Mover.click();
    EXPECT_EQ(todo(), (Strings{"LED verde"} + pasos(c.letras, 1, c.posiciones) + Strings{"write p", "LED rojo"}));
    EXPECT_EQ(f.Text_Mensajes.text(), c.mensaje);
    if (*c.letras) {
      EXPECT_EQ(f.Ultima_Fase, Variant::text(std::string(1, c.letras[std::strlen(c.letras) - 1])));
    }
    EXPECT_TRUE(rig.messages.shown.empty());
  }
}

TEST_F(Mover, TheMachineStaysAwakeWhileAConnectedMoveOrRunExecutes) {
  const std::string awake = "inhibit Velmira: pila de fotos en curso after p";
  // A move, a run, a move that fails half-way: held from before the first
  // letter to after the last, however the handler ends.
  conectar();
  f.Text9.setText("2");
  f.Mover.click();
  f.Text4.setText("1");
  f.Text3.setText("1");
  f.B_Procesar.click();
  rig.serial.vanishAfterBytes = static_cast<int>(rig.line().size()) + 1;
  f.Mover.click();
  EXPECT_EQ(rig.desktop.calls, (Strings{awake, "release after pabp", awake + "abp", "release after pabprsrscpp",
                                        awake + "abprsrscpp", "release after pabprsrscppd"}));
  // Not connected: nothing to keep awake for.
  test::Rig otro;
  otro.form().Text9.setText("2");
  otro.form().Mover.click();
  EXPECT_TRUE(otro.desktop.calls.empty());
}

TEST_F(Mover, ContinuesThePhaseFromOneMoveToTheNext) {
  conectar();
  f.Text9.setText("5");
  f.Mover.click();
  f.CheckP3.click();  // backwards
  f.Text9.setText("7");
  f.Mover.click();
  EXPECT_EQ(rig.line(), "pabcdap" "dcbadcbp");
  EXPECT_EQ(f.Text2.text(), "-2");
}

TEST_F(Mover, ZeroStepsSaysSoAndStillSwitchesTheMotorOff) {
  conectar();
  for (const char* texto : {"0", "", "abc", "0,9"}) {
    SCOPED_TRACE(texto);
    f.Text9.setText(texto);
    f.Text2.setText("3");
    f.LED.setFillColor(kGreen);
    rig.transcript.entries.clear();
    f.Mover.click();
    EXPECT_EQ(todo(), (Strings{"box Nº de pasos no puede ser Cero", "write p", "LED rojo"}));
    EXPECT_EQ(f.Text2.text(), "3");
  }
  EXPECT_EQ(rig.messages.shown.at(0).title, "Velmira");
}

TEST_F(Mover, WithoutAConnectionOnlyTheMessageIsShown) {
  // Never connected, and connected but after a link failure (the port is
  // still open, the caption reads "CONECTAR").
  for (bool trasFallo : {false, true}) {
    SCOPED_TRACE(trasFallo);
    Rig otro;
    Form_Principal& g = otro.form();
    if (trasFallo) {
      otro.connect();
      otro.serial.vanishAfterBytes = 1;
      g.Text9.setText("1");
      g.Mover.click();
      ASSERT_EQ(g.Command_CONECTAR.caption(), "CONECTAR");
      otro.serial.vanishAfterBytes = -1;
    }
    g.LED.setFillColor(kGreen);
    otro.transcript.entries.clear();
    std::string antes = otro.line();
    g.Text9.setText("5");
    g.Mover.click();
    EXPECT_EQ(otro.transcript.all(), Strings{"box Sin conexión  puerto COM."});
    EXPECT_EQ(otro.line(), antes);
    EXPECT_EQ(g.LED.fillColor(), kGreen);
    EXPECT_EQ(g.Text2.text(), "0");
  }
}

TEST_F(Mover, AStopClickedDuringAWaitActsAtTheNextEventPassBeforeTheNextStep) {
  struct Case { const char* boton; Button Form_Principal::*b; };
  for (Case c : {Case{"Parar", &Form_Principal::Parar}, Case{"AbortarP", &Form_Principal::AbortarP}}) {
    SCOPED_TRACE(c.boton);
    Rig r;
    Form_Principal& g = r.connectedPastReset();
    g.hscVelocidad.setValue(100);
    g.Text9.setText("5");
    // Clicked in the middle of the second step's wait.
    r.events.at(r.clock.nowMs() + 150, [&] { (g.*c.b).click(); });
    r.transcript.entries.clear();
    g.Mover.click();
    EXPECT_EQ(r.transcript.all(),
              (Strings{"write a", "sleep 100", "write b", "sleep 100", "write p", "write p"}));
    EXPECT_EQ(g.Text2.text(), "2");
    EXPECT_EQ(g.LED.fillColor(), kRed);
    EXPECT_EQ(g.Parada, 1);
  }
}

TEST_F(Mover, DisconnectDuringAMoveEndsItInTheErrorPath) {
  conectar();
  f.Text9.setText("5");
  rig.events.atPass(2, [&] { f.Command_CONECTAR.click(); });
  f.Mover.click();
  EXPECT_EQ(todo(), (Strings{"LED verde"} + pasos("ab", 1, {"1", "2"}) +
                        Strings{"write p", "LED rojo", "sleep 300", "close", "box Error!"}));
  EXPECT_FALSE(rig.serial.isOpen());
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
  EXPECT_EQ(rig.messages.shown.back().title, "velmira");
  EXPECT_EQ(rig.messages.shown.back().icon, platform::Icon::Critical);
}

TEST_F(Mover, AnUnpluggedAdapterEndsTheMoveWithoutItsStopAndLeavesThePortOpen) {
  conectar();
  rig.serial.vanishAfterBytes = 3;  // "p" of the connect, "a", "b"
  f.Text9.setText("5");
  f.Mover.click();
  EXPECT_EQ(rig.line(), "pab");
  EXPECT_EQ(todo(), (Strings{"LED verde"} + pasos("ab", 1, {"1", "2"}) + Strings{"LED rojo", "box Error!"}));
  EXPECT_EQ(rig.messages.shown.back().detail, "El dispositivo ya no está conectado.");
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_TRUE(f.ComboBoxCOM.enabled());
  EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
  EXPECT_EQ(f.Text2.text(), "2");
  EXPECT_TRUE(rig.serial.isOpen());
  EXPECT_EQ(f.Ultima_Fase, Variant::text("b")) << "the letter whose write failed never reached the motor";
  // Plugged in again: the next move goes on from the last letter delivered.
  rig.serial.vanishAfterBytes = -1;
  f.Command_CONECTAR.click();  // the port is still open: closed first
  f.Command_CONECTAR.click();
  rig.clock.advance(2000);
  f.Text9.setText("2");
  f.Mover.click();
  EXPECT_EQ(rig.line().substr(rig.line().size() - 3), "cdp");
}

TEST_F(Mover, AStepDelayThatIsNoNumberIsAFailureBeforeAnythingIsSent) {
  conectar();
  f.lblVelocidad.setCaption("x");
  f.Text9.setText("3");
  f.Mover.click();
  EXPECT_EQ(todo(), Strings{"box Error!"});
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(rig.line(), "p");
}

TEST_F(Mover, LeavingTheProgramDuringAMoveEndsItWithoutTheMovesOwnStop) {
  conectar();
  f.Text9.setText("5");
  rig.events.atPass(2, [&] { f.Salir.click(); });
  EXPECT_THROW(f.Mover.click(), ProgramEnded);
  EXPECT_EQ(rig.line(), "pabp");
  EXPECT_EQ(todo(), (Strings{"LED verde"} + pasos("ab", 1, {"1", "2"}) +
                        Strings{"write p", "LED rojo", "sleep 300", "close"}));
  EXPECT_FALSE(f.En_Marcha);
}

TEST_F(Mover, TheSpeedBarSetsTheWaitAfterEveryLetter) {
  conectar();
  for (int v : {250, 1000, 1}) {
    SCOPED_TRACE(v);
    f.hscVelocidad.setValue(v);
    EXPECT_EQ(f.lblVelocidad.caption(), std::to_string(v));
    f.Text9.setText("2");
    rig.transcript.entries.clear();
    f.Mover.click();
    EXPECT_EQ(rig.transcript.only("sleep "), (Strings{std::to_string(v), std::to_string(v)}));
  }
}

TEST_F(Mover, AMoveOrRunClickedDuringAMoveOrRunIsRefused) {
  struct Case {
    const char* exterior;
    Button Form_Principal::*b;
    const char* interior;
    Button Form_Principal::*n;
    const char* linea;
    const char* posicion;
  };
  // The stop comes at the third event pass: after the third step of a move,
  // after the second of a run (its first pass follows the pause before the
  // photo).  Then the stop's "p", the move's or frame's "p", and the run's
  // final "p".
  const Case cases[] = {
      {"Mover", &Form_Principal::Mover, "Mover", &Form_Principal::Mover, "pabcpp", "3"},
      {"Mover", &Form_Principal::Mover, "B_Procesar", &Form_Principal::B_Procesar, "pabcpp", "3"},
      {"B_Procesar", &Form_Principal::B_Procesar, "Mover", &Form_Principal::Mover, "pabppp", "2"},
      {"B_Procesar", &Form_Principal::B_Procesar, "B_Procesar", &Form_Principal::B_Procesar, "pabppp", "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.exterior) + " / " + c.interior);
    Rig r;
    Form_Principal& g = r.connectedPastReset();
    g.Text9.setText("4");
    g.Text3.setText("4");
    g.Text4.setText("1");
    g.Check1.setValue(0);
    std::string mensajeDurante;
    // A stop and then the second click in the same event pass: the refused
    // click must not clear the stop.
    r.events.atPass(1, [&] {
      (g.*c.n).click();
      mensajeDurante = g.Text_Mensajes.text();
    });
    r.events.atPass(3, [&] {
      g.Parar.click();
      (g.*c.n).click();
    });
    (g.*c.b).click();
    EXPECT_EQ(mensajeDurante, motion::kMovimientoEnCurso);
    EXPECT_EQ(r.line(), c.linea);
    EXPECT_EQ(g.Text2.text(), c.posicion);
    EXPECT_FALSE(g.En_Marcha);
  }
}

TEST_F(Mover, AfterAFailedMoveTheNextMoveRuns) {
  conectar();
  f.Text9.setText("2");
  f.lblVelocidad.setCaption("x");
  f.Mover.click();
  EXPECT_FALSE(f.En_Marcha);
  // The port is still open: the first click disconnects, the second connects.
  f.lblVelocidad.setCaption("1");
  f.Command_CONECTAR.click();
  f.Command_CONECTAR.click();
  rig.clock.advance(2000);
  f.Mover.click();
  EXPECT_EQ(rig.line(), "p" "p" "p" "abp");
  EXPECT_NE(f.Text_Mensajes.text(), motion::kMovimientoEnCurso);
}

TEST_F(Mover, WaitsForTheBoardToComeOutOfItsResetBeforeTheFirstCommand) {
  struct Case { int64_t tras; const char* pasos; Strings esperado; };
  const Case cases[] = {
      {0, "2", Strings{"LED verde", "sleep 1500"} + pasos("ab", 1, {"1", "2"}) + Strings{"write p", "LED rojo"}},
      {400, "1", Strings{"LED verde", "sleep 1100"} + pasos("a", 1, {"1"}) + Strings{"write p", "LED rojo"}},
      {1500, "1", Strings{"LED verde"} + pasos("a", 1, {"1"}) + Strings{"write p", "LED rojo"}},
      {0, "0", Strings{"box Nº de pasos no puede ser Cero", "sleep 1500", "write p"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tras);
    Rig r{{.recordShown = true}};
    Form_Principal& g = r.form();
    r.connect();
    r.clock.advance(c.tras);
    r.transcript.entries.clear();
    g.Text9.setText(c.pasos);
    g.Mover.click();
    EXPECT_EQ(r.transcript.all(), c.esperado);
    // A later move waits nothing more.
    r.transcript.entries.clear();
    g.Text9.setText("1");
    g.Mover.click();
    EXPECT_EQ(r.transcript.only("sleep "), Strings{"1"});
  }
}

TEST_F(Mover, WithoutAConnectionThereIsNoResetWait) {
  f.Text9.setText("1");
  f.Mover.click();
  EXPECT_TRUE(rig.transcript.only("sleep ").empty());
}

class Parar : public MotionRig {};

TEST_F(Parar, BothStopButtonsSwitchTheMotorOffWhenConnectedAndTurnTheIndicatorRed) {
  for (bool conectado : {true, false}) {
    for (Button Form_Principal::*b : {&Form_Principal::Parar, &Form_Principal::AbortarP}) {
      SCOPED_TRACE(conectado);
      Rig r;
      Form_Principal& g = r.form();
      if (conectado) r.connect();
      g.LED.setFillColor(kGreen);
      g.Parada = 0;
      std::string antes = r.line();
      (g.*b).click();
      EXPECT_EQ(r.line(), antes + (conectado ? "p" : ""));
      EXPECT_EQ(g.LED.fillColor(), kRed);
      EXPECT_EQ(g.Parada, 1);
      EXPECT_TRUE(r.messages.shown.empty());
    }
  }
}

TEST_F(Parar, AStopThatCannotBeSentShowsTheErrorAndStillStops) {
  conectar();
  rig.serial.vanishAfterBytes = 1;
  f.Parada = 0;
  f.LED.setFillColor(kGreen);
  rig.transcript.entries.clear();
  f.AbortarP.click();
  EXPECT_EQ(todo(), (Strings{"LED rojo", "box Error!"}));
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
  EXPECT_EQ(f.Parada, 1);
}

TEST_F(Parar, ZeroingButtonsResetTheirCounters) {
  f.Text2.setText("-17");
  f.Nfotos.setText("42");
  f.Limpia.click();
  EXPECT_EQ(f.Text2.text(), "0");
  EXPECT_EQ(f.Nfotos.text(), "42");
  f.LimpiaF.click();
  EXPECT_EQ(f.Nfotos.text(), "0");
}

TEST_F(Parar, ZeroingDuringAMoveLastsUntilTheNextStep) {
  conectar();
  f.Text2.setText("10");
  f.Text9.setText("3");
  rig.events.atPass(1, [&] { f.Limpia.click(); });
  f.Mover.click();
  EXPECT_EQ(rig.transcript.only("Text2="), (Strings{"10", "11", "0", "12", "13"}));
}

TEST(Direccion, EachBoxOfAPairKeepsItsPartnerOpposite) {
  struct Case { CheckBox Form_Principal::*x; CheckBox Form_Principal::*y; int inicialX; };
  const Case cases[] = {
      {&Form_Principal::CheckP3, &Form_Principal::CheckP4, 0},
      {&Form_Principal::CheckP4, &Form_Principal::CheckP3, 1},
      {&Form_Principal::CheckM1, &Form_Principal::CheckM2, 0},
      {&Form_Principal::CheckM2, &Form_Principal::CheckM1, 1},
  };
  for (const Case& c : cases) {
    Rig r;
    Form_Principal& g = r.form();
    CheckBox& x = g.*c.x;
    CheckBox& y = g.*c.y;
    SCOPED_TRACE(x.name());
    ASSERT_EQ(x.value(), c.inicialX);
    for (int vez = 0; vez < 3; ++vez) {
      x.click();
      EXPECT_EQ(x.value(), vez % 2 == 0 ? 1 - c.inicialX : c.inicialX);
      EXPECT_EQ(y.value(), 1 - x.value());
    }
  }
}

TEST(Direccion, ThePairsAreIndependentAndTheMoveReadsOnlyItsOwn) {
  Rig r;
  Form_Principal& g = r.connectedPastReset();
  g.CheckM1.click();  // the stack run goes backwards
  EXPECT_EQ(g.CheckP3.value(), 0);
  EXPECT_EQ(g.CheckP4.value(), 1);
  g.Text9.setText("1");
  g.Mover.click();
  g.CheckP4.click();  // clearing "forwards" makes the move go backwards
  g.Mover.click();
  EXPECT_EQ(r.line(), "pap" "dp");
  EXPECT_EQ(g.CheckM1.value(), 1);
}

}  // namespace
}  // namespace velmira::test
