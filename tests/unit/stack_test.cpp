// The stack run and the shutter release.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/motion_support.h"

namespace velmira::test {
namespace {

using Strings = std::vector<std::string>;

class Procesar : public MotionRig {
 protected:
  // Key mode with the key of Combo1's list index (-1: none).
  void modoTecla(int indice) {
    f.Disparo.setListIndex(0);
    f.Combo1.setListIndex(indice);
  }
  void modoEspejo(const char* retardo) {
    f.Disparo.setListIndex(1);
    f.temEsp.setText(retardo);
  }
  void procesar() {
    rig.transcript.entries.clear();
    f.B_Procesar.click();
  }
  static Strings accionar() { return {"write r", "sleep 1000", "write s"}; }
};

TEST_F(Procesar, TwoFramesWithTheControllerShotPhotographThenMoveEachFrame) {
  conectar();
  controllerShot(f);
  runFields(f, "2", "3");
  f.Text2.setText("10");
  procesar();
  Strings esperado =
      Strings{"sleep 4000", "write r", "sleep 1000", "Nfotos=1", "write s", "sleep 1000", "LED verde"} +
      pasos("abc", 1, {"11", "12", "13"}) + Strings{"write p", "LED rojo"} +
      Strings{"sleep 4000", "write r", "sleep 1000", "Nfotos=2", "write s", "sleep 1000", "LED verde"} +
      pasos("dab", 1, {"14", "15", "16"}) + Strings{"write p", "LED rojo", "write p"};
  EXPECT_EQ(todo(), esperado);
  EXPECT_EQ(rig.line(), "p" "rsabcp" "rsdabp" "p");
  EXPECT_EQ(f.Text_Mensajes.text(), "Moviendo hacia adelante");
  EXPECT_EQ(f.Ultima_Fase, Variant::text("b"));
  EXPECT_TRUE(rig.messages.shown.empty());
  // The shutter output is held 1000 ms.
  const auto& e = rig.transcript.entries;
  auto at = [&](const std::string& w) {
    return std::find_if(e.begin(), e.end(), [&](const Entry& x) { return x.what == w; })->timeMs;
  };
  EXPECT_EQ(at("write s") - at("write r"), 1000);
}

TEST_F(Procesar, BackwardsTheRunStepsThePhasesInReverse) {
  conectar();
  controllerShot(f);
  f.CheckM1.click();
  runFields(f, "1", "3");
  procesar();
  EXPECT_EQ(rig.line(), "p" "rscbap" "p");
  EXPECT_EQ(f.Text2.text(), "-3");
  EXPECT_EQ(f.Text_Mensajes.text(), "Moviendo hacia atras");
}

TEST_F(Procesar, MirrorLockUpRaisesTheMirrorWaitsTheDelayThenTakesThePhoto) {
  struct Case { const char* retardo; const char* espera; };
  for (Case c : {Case{"0", "0"}, Case{"2", "2000"}, Case{"1,5", "1000"}, Case{"", "0"}}) {
    SCOPED_TRACE(c.retardo);
    f.Text2.setText("0");
    f.Nfotos.setText("0");
    conectar();
    f.Ultima_Fase = Variant::text("d");
    modoEspejo(c.retardo);
    runFields(f, "1", "1");
    procesar();
    EXPECT_EQ(todo(), (Strings{"sleep 4000"} + accionar() + Strings{"Nfotos=1"} +
                          Strings{std::string("sleep ") + c.espera} + accionar() +
                          Strings{"sleep 1000", "LED verde", "write a", "sleep 1", "Text2=1", "write p",
                                  "LED rojo", "write p"}));
    f.Command_CONECTAR.click();  // disconnect for the next case
  }
}

TEST_F(Procesar, TheKeyShotCountsThePhotoThenPressesAndReleasesTheKey) {
  struct Case { int indice; const char* vk; };
  // Every key of the list, F6 to F12.
  for (Case c : {Case{2, "119"}, Case{6, "123"}, Case{0, "117"}, Case{1, "118"}, Case{3, "120"}, Case{4, "121"},
                 Case{5, "122"}}) {
    SCOPED_TRACE(c.vk);
    conectar();
    modoTecla(c.indice);
    runFields(f, "2", "1");
    f.Nfotos.setText("7");
    procesar();
    std::string down = std::string("key ") + c.vk + " 0 0 0", up = std::string("key ") + c.vk + " 0 2 0";
    std::string fin = f.Ultima_Fase.toText();
    EXPECT_EQ(rig.transcript.only("Nfotos="), (Strings{"8", "9"}));
    Strings frame1 = {"sleep 4000", "Nfotos=8", down, up, "sleep 1000", "LED verde"};
    Strings got = todo();
    ASSERT_GE(got.size(), frame1.size());
    EXPECT_EQ(Strings(got.begin(), got.begin() + static_cast<long>(frame1.size())), frame1);
    EXPECT_EQ(rig.transcript.only("key "), (Strings{down.substr(4), up.substr(4), down.substr(4), up.substr(4)}));
    f.Command_CONECTAR.click();
  }
}

TEST_F(Procesar, AKeyShotThatCannotBeTakenStopsTheRunWithoutCountingAPhoto) {
  struct Case { int indice; std::optional<std::string> motivo; std::string mensaje; };
  const Case cases[] = {
      {-1, std::nullopt, "Selecciona Tecla de disparo"},
      {-1, std::string("no hay pantalla X"), "Selecciona Tecla de disparo"},
      {2, std::string("no hay pantalla X"), "No se puede enviar la tecla de disparo: no hay pantalla X"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mensaje);
    Rig r;
    Form_Principal& g = r.connectedPastReset();
    r.keys.unavailable = c.motivo;
    g.Disparo.setListIndex(0);
    g.Combo1.setListIndex(c.indice);
    g.Text4.setText("3");
    g.Text3.setText("2");
    r.transcript.entries.clear();
    g.B_Procesar.click();
    // The frame still waits T.P.F. and ends with its "p"; the other frames
    // are skipped; the run ends with "p".
    EXPECT_EQ(r.transcript.all(),
              (Strings{"sleep 4000", "box " + c.mensaje, "write p", "sleep 1000", "write p", "write p"}));
    EXPECT_EQ(g.Parada, 1);
    EXPECT_EQ(g.LED.fillColor(), kRed);
    EXPECT_EQ(g.Nfotos.text(), "0");
    EXPECT_EQ(g.Text2.text(), "0");
    EXPECT_EQ(r.messages.shown.at(0).title, "Velmira");
  }
}

TEST_F(Procesar, TheKeyPathIsPreparedWhenKeyShotsComeAndItsCaveatShownOnceBeforeTheFirst) {
  // Asked when the key mode meets a connection, whichever comes second.
  EXPECT_EQ(rig.keys.prepared, 0);
  f.Disparo.setListIndex(0);
  EXPECT_EQ(rig.keys.prepared, 0) << "not connected";
  conectar();
  EXPECT_EQ(rig.keys.prepared, 1);
  f.Disparo.setListIndex(1);
  f.Disparo.setListIndex(0);
  EXPECT_EQ(rig.keys.prepared, 2);
  // The caveat: before the first key shot of the program run, and once.
  rig.keys.warning = "La tecla solo llega a los programas X11.";
  modoTecla(2);
  runFields(f, "2", "1");
  rig.transcript.entries.clear();
  f.B_Procesar.click();
  f.B_Procesar.click();
  EXPECT_EQ(rig.messages.texts(), (Strings{"La tecla solo llega a los programas X11."}));
  const Strings all = todo();
  const auto box = std::find(all.begin(), all.end(), "box La tecla solo llega a los programas X11.");
  const auto key = std::find_if(all.begin(), all.end(), [](const std::string& e) { return e.rfind("key ", 0) == 0; });
  EXPECT_LT(box, key);
  EXPECT_EQ(rig.transcript.only("key ").size(), 8u) << "the run went on: two runs of two frames";
}

TEST_F(Procesar, TheDesktopFollowsTheRunFromItsPlanToHowItEnded) {
  // 2 frames: T.A.F. 4 s, one controller actuation (1 s), T.P.F. 1 s, 3
  // steps of 300 ms: 6.9 s a frame.
  struct Case {
    const char* what;
    std::function<void(Rig&, Form_Principal&)> arrange;
    Strings told;
  };
  const Case cases[] = {
      {"finished", [](Rig&, Form_Principal&) {},
       {"started frames=2 photos=2 expected=13800", "progress 1/2", "progress 2/2",
        "ended finished frame=2/2 photos=2 took=13800"}},
      {"aborted in the first frame's move",
       [](Rig& r, Form_Principal& g) { r.events.at(r.clock.nowMs() + 6200, [&g] { g.AbortarP.click(); }); },
       {"started frames=2 photos=2 expected=13800", "ended stopped frame=1/2 photos=1 took=6300"}},
      {"the link failed in the second frame",
       [](Rig& r, Form_Principal&) { r.serial.vanishAfterBytes = static_cast<int>(r.line().size()) + 7; },
       {"started frames=2 photos=2 expected=13800", "progress 1/2", "ended link failed frame=2/2 photos=1 took=11900"}},
      {"no key", [](Rig&, Form_Principal& g) { g.Disparo.setListIndex(0), g.Combo1.setListIndex(-1); },
       {"started frames=2 photos=2 expected=11800", "ended no key frame=1/2 photos=0 took=5000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig r;
    Form_Principal& g = r.connectedPastReset();
    controllerShot(g);
    g.hscVelocidad.setValue(300);
    runFields(g, "2", "3", "4", "1");
    c.arrange(r, g);
    g.B_Procesar.click();
    EXPECT_EQ(r.desktop.run, c.told);
  }
}

TEST_F(Procesar, TheShotFollowsTheVisibleControlsOfTheShutterMode) {
  struct Case { const char* estado; std::function<void(Form_Principal&)> preparar; const char* linea; };
  const Case cases[] = {
      {"tecla", [](Form_Principal& g) { g.Disparo.setListIndex(0); g.Combo1.setListIndex(2); }, "ppp"},
      {"espejo", [](Form_Principal& g) { g.Disparo.setListIndex(1); }, "prsrspp"},
      // Delay field hidden by a click of the box: one actuation, no key.
      {"disparador oculto",
       [](Form_Principal& g) { g.Combo1.setListIndex(2); g.Disparo.setListIndex(1); g.CheckEsp.click(); },
       "prspp"},
      {"oculto y marcado otra vez",
       [](Form_Principal& g) {
         g.Disparo.setListIndex(1);
         g.CheckEsp.click();
         g.Disparo.setListIndex(0);
         g.Disparo.setListIndex(1);
         g.CheckEsp.click();  // ticked again, and hidden again
       },
       "prspp"},
      {"vuelta a disparador con la casilla vacía",
       [](Form_Principal& g) {
         g.Disparo.setListIndex(1);
         g.CheckEsp.click();
         g.Disparo.setListIndex(0);
         g.Disparo.setListIndex(1);
       },
       "prspp"},
      {"sin modo", [](Form_Principal& g) { g.Combo1.setListIndex(1); g.Disparo_Click(); }, "ppp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.estado);
    Rig r;
    Form_Principal& g = r.form();
    r.connect();
    c.preparar(g);
    g.Text4.setText("1");
    g.Text3.setText("-1");
    g.B_Procesar.click();
    EXPECT_EQ(r.line(), c.linea);
    EXPECT_EQ(g.Nfotos.text(), "1");
    EXPECT_EQ(r.transcript.only("key ").size(), std::string(c.linea) == "ppp" ? 2u : 0u);
  }
}

TEST_F(Procesar, FramesBelowOneTakeNoPhotoAndMakeNoMove) {
  conectar();
  controllerShot(f);
  for (const char* fotogramas : {"0", "-2", "0,9", "abc"}) {
    SCOPED_TRACE(fotogramas);
    f.Text_Mensajes.setText("");
    runFields(f, fotogramas, "5");
    procesar();
    EXPECT_EQ(todo(), Strings{"write p"});
    EXPECT_EQ(f.Text_Mensajes.text(), "Moviendo hacia adelante");
    EXPECT_EQ(f.LED.fillColor(), kRed);
  }
}

TEST_F(Procesar, ZeroStepsPerFrameIsRefusedWithTheMotorSwitchedOff) {
  conectar();
  controllerShot(f);
  for (const char* pasosFoto : {"0", "0,5", "", "x"}) {
    SCOPED_TRACE(pasosFoto);
    runFields(f, "3", pasosFoto);
    procesar();
    EXPECT_EQ(todo(), (Strings{"box Nº de pasos incorrecto", "write p"}));
    EXPECT_EQ(f.Text_Mensajes.text(), "Conectado");
    EXPECT_EQ(f.Nfotos.text(), "0");
  }
}

TEST_F(Procesar, StepsPerFrameCountOnlyTheirWholePartAndNegativeOnesMakeNoStep) {
  struct Case { const char* pasosFoto; const char* linea; };
  for (Case c : {Case{"12,5", "p" "rsabcdabcdabcdp" "p"}, Case{"-3", "p" "rsp" "rsp" "p"}}) {
    SCOPED_TRACE(c.pasosFoto);
    Rig r;
    Form_Principal& g = r.form();
    r.connect();
    controllerShot(g);
    runFields(g, std::string(c.pasosFoto) == "-3" ? "2" : "1", c.pasosFoto);
    g.B_Procesar.click();
    EXPECT_EQ(r.line(), c.linea);
  }
}

TEST_F(Procesar, WithoutTakePhotoEveryFrameStillPausesMovesAndStops) {
  conectar();
  controllerShot(f);
  f.Check1.click();
  runFields(f, "2", "1");
  procesar();
  EXPECT_EQ(todo(), (Strings{"sleep 4000", "LED verde"} + pasos("a", 1, {"1"}) + Strings{"write p", "LED rojo"} +
                        Strings{"sleep 4000", "LED verde"} + pasos("b", 1, {"2"}) +
                        Strings{"write p", "LED rojo", "write p"}));
  EXPECT_EQ(f.Nfotos.text(), "0");
}

TEST_F(Procesar, ThePausesAreWholeSecondsOfTheLeadingNumber) {
  struct Case { const char* antes; const char* despues; Strings esperas; };
  const Case cases[] = {
      {"4", "1", {"4000", "1000", "1"}},  {"0,5", "0", {"0", "0", "1"}},
      {"", "2.5", {"0", "2500", "1"}},    {"12", "x", {"12000", "0", "1"}},
  };
  conectar();
  modoTecla(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.antes);
    f.Text10.setText(c.antes);
    f.Text5.setText(c.despues);
    runFields(f, "1", "1");
    procesar();
    EXPECT_EQ(rig.transcript.only("sleep "), c.esperas);
  }
}

TEST_F(Procesar, AStopDuringAMoveEndsTheFrameAndSkipsTheRest) {
  for (Button Form_Principal::*b : {&Form_Principal::AbortarP, &Form_Principal::Parar}) {
    Rig r;
    Form_Principal& g = r.connectedPastReset();
    controllerShot(g);
    runFields(g, "3", "4");
    // T.A.F. 4000, the hold 1000, T.P.F. 1000, then two steps of 1 ms.
    r.events.at(r.clock.nowMs() + 6002, [&] { (g.*b).click(); });
    g.B_Procesar.click();
    EXPECT_EQ(r.line(), "p" "rsab" "p" "p" "p");
    EXPECT_EQ(g.Nfotos.text(), "1");
    EXPECT_EQ(g.Text2.text(), "2");
    EXPECT_EQ(g.LED.fillColor(), kRed);
  }
}

TEST_F(Procesar, AStopDuringThePauseBeforeThePhotoStillLetsThatPhotoBeTaken) {
  conectar();
  controllerShot(f);
  runFields(f, "3", "4");
  rig.events.at(ahora() + 100, [&] { f.AbortarP.click(); });
  procesar();
  EXPECT_EQ(rig.line(), "p" "p" "rs" "p" "p");
  EXPECT_EQ(f.Nfotos.text(), "1");
  EXPECT_EQ(rig.transcript.only("sleep "), (Strings{"4000", "1000", "1000"}));
}

TEST_F(Procesar, DisconnectDuringARunEndsItInTheErrorPath) {
  conectar();
  controllerShot(f);
  runFields(f, "3", "4");
  rig.events.at(ahora() + 6001, [&] { f.Command_CONECTAR.click(); });
  procesar();
  Strings got = todo();
  Strings tail(got.end() - 8, got.end());
  EXPECT_EQ(tail, (Strings{"write a", "sleep 1", "Text2=1", "write p", "LED rojo", "sleep 300", "close",
                           "box Error!"}));
  EXPECT_EQ(rig.line(), "p" "rsa" "p");
  EXPECT_FALSE(rig.serial.isOpen());
  EXPECT_EQ(f.Command_CONECTAR.caption(), "CONECTAR");
  EXPECT_EQ(f.Text_Mensajes.text(), "Desconectado");
  EXPECT_FALSE(f.En_Marcha);
}

TEST_F(Procesar, RunTimeErrorsEndTheRunWithTheErrorBoxAndThePortLeftOpen) {
  struct Case {
    const char* que;
    std::function<void(Form_Principal&)> preparar;
    const char* linea;
  };
  const Case cases[] = {
      // The count is checked before "r", so the shutter output is never
      // left actuated.
      {"recuento no numérico, disparador", [](Form_Principal& g) { g.Nfotos.setText("abc"); }, "p"},
      {"recuento no numérico, espejo",
       [](Form_Principal& g) {
         g.Nfotos.setText("abc");
         g.CheckEsp.click();  // ticked (and hidden); the mode switched back shows it
         g.Disparo.setListIndex(0);
         g.Disparo.setListIndex(1);
       },
       "prs"},
      {"recuento no numérico, tecla",
       [](Form_Principal& g) { g.Nfotos.setText(""); g.Disparo.setListIndex(0); g.Combo1.setListIndex(2); }, "p"},
      {"tiempo de paso no numérico", [](Form_Principal& g) { g.lblVelocidad.setCaption("rápido"); }, "prs"},
      {"pausa fuera de rango", [](Form_Principal& g) { g.Text10.setText("9999999"); }, "p"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.que);
    Rig r;
    Form_Principal& g = r.connectedPastReset();
    controllerShot(g);
    c.preparar(g);
    runFields(g, "2", "2");
    g.B_Procesar.click();
    EXPECT_EQ(r.line(), c.linea);
    EXPECT_TRUE(r.transcript.only("key ").empty());
    ASSERT_EQ(r.messages.texts(), Strings{"Error!"});
    EXPECT_EQ(r.messages.shown[0].icon, platform::Icon::Critical);
    EXPECT_EQ(g.Command_CONECTAR.caption(), "CONECTAR");
    EXPECT_TRUE(g.ComboBoxCOM.enabled());
    EXPECT_EQ(g.Text_Mensajes.text(), "Desconectado");
    EXPECT_EQ(g.LED.fillColor(), kRed);
    EXPECT_TRUE(r.serial.isOpen());
    EXPECT_FALSE(g.En_Marcha);
  }
}

TEST_F(Procesar, WithoutAConnectionOnlyTheMessageIsShown) {
  controllerShot(f);
  runFields(f, "2", "3");
  f.Parada = 1;
  f.LED.setFillColor(kGreen);
  procesar();
  EXPECT_EQ(todo(), Strings{"box Sin conexión  puerto COM."});
  EXPECT_EQ(rig.line(), "");
  EXPECT_EQ(f.Parada, 0);
  EXPECT_EQ(f.LED.fillColor(), kGreen);
}

TEST_F(Procesar, ARunRightAfterConnectingWaitsForTheBoardBeforeItsFirstCommand) {
  struct Case { const char* modo; Strings esperas; };
  // No pause before the photo: the controller shot waits the whole reset
  // before "r"; the key shot is no command, and after T.P.F. only the rest
  // is waited before the first letter.
  const Case cases[] = {{"disparador", {"0", "1500", "1000", "1000", "1"}}, {"tecla", {"0", "1000", "500", "1"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modo);
    Rig r;
    Form_Principal& g = r.form();
    r.connect();
    g.Disparo.setListIndex(std::string(c.modo) == "tecla" ? 0 : 1);
    g.Combo1.setListIndex(2);
    if (std::string(c.modo) == "disparador") g.CheckEsp.click();
    g.Text10.setText("0");
    g.Text4.setText("1");
    g.Text3.setText("1");
    r.transcript.entries.clear();
    g.B_Procesar.click();
    EXPECT_EQ(r.transcript.only("sleep "), c.esperas);
  }
}

TEST(ModoDisparo, TheModeShowsOneGroupAndHidesTheOtherInOrder) {
  Rig r;
  Form_Principal& g = r.form();
  Strings cambios;
  g.onControlChanged = [&](Control& c) {
    if (&c != &g.Disparo) cambios.push_back(c.name() + (c.visible() ? "+" : "-"));
  };
  g.Disparo.setListIndex(0);  // from the design state, where both groups show
  EXPECT_EQ(cambios, (Strings{"DLabel-", "temEsp-", "CheckEsp-", "EspL-"}));
  cambios.clear();
  g.Disparo.setListIndex(1);
  EXPECT_EQ(cambios, (Strings{"Label3-", "Combo1-", "DLabel+", "temEsp+", "CheckEsp+", "EspL+"}));
  cambios.clear();
  g.Disparo.setListIndex(0);
  EXPECT_EQ(cambios, (Strings{"Label3+", "Combo1+", "DLabel-", "temEsp-", "CheckEsp-", "EspL-"}));
  // No selection counts as the key mode.
  g.Disparo.setListIndex(1);
  g.Disparo.setText("");
  cambios.clear();
  g.Disparo_Click();
  EXPECT_EQ(cambios, (Strings{"Label3+", "Combo1+", "DLabel-", "temEsp-", "CheckEsp-", "EspL-"}));
}

TEST(ModoDisparo, EachClickOfTheMirrorBoxFlipsTheDelayFieldAndItsCaption) {
  Rig r;
  Form_Principal& g = r.form();
  g.Disparo.setListIndex(1);
  Strings cambios;
  g.onControlChanged = [&](Control& c) { cambios.push_back(c.name() + (c.visible() ? "+" : "-")); };
  g.CheckEsp.click();
  EXPECT_EQ(g.CheckEsp.value(), 0);
  EXPECT_EQ(cambios, (Strings{"CheckEsp+", "temEsp-", "DLabel-"}));
  cambios.clear();
  g.CheckEsp.click();
  EXPECT_EQ(g.CheckEsp.value(), 1);
  EXPECT_EQ(cambios, (Strings{"CheckEsp+", "temEsp+", "DLabel+"}));
  // Switching away and back shows the delay whatever the box says.
  g.CheckEsp.click();
  g.Disparo.setListIndex(0);
  g.Disparo.setListIndex(1);
  EXPECT_TRUE(g.temEsp.visible());
  EXPECT_TRUE(g.DLabel.visible());
  EXPECT_EQ(g.CheckEsp.value(), 0);
}

TEST(PulsarTecla, SendsOneKeyDownAndOneKeyUpBackToBackAndLeavesTheCodeAlone) {
  struct Case { int32_t tecla; const char* vk; };
  for (Case c : {Case{119, "119"}, Case{123, "123"}, Case{0x100 + 117, "117"}}) {
    Rig r;
    Form_Principal& g = r.form();
    int32_t tecla = c.tecla;
    g.Pulsar_Tecla(tecla);
    EXPECT_EQ(tecla, c.tecla);
    EXPECT_EQ(r.transcript.all(),
              (Strings{std::string("key ") + c.vk + " 0 0 0", std::string("key ") + c.vk + " 0 2 0"}));
    EXPECT_EQ(r.events.passes, 0);
  }
}

}  // namespace
}  // namespace velmira::test
