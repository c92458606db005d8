// The stack run of the "Procesar" button: for each frame a pause, a photo,
// a pause and a move, then "p".
#include "app/form_principal.h"
#include "app/numbers.h"
#include "motion/motion.h"
#include "stack/shutter.h"

namespace velmira {
namespace {

// The values a run fixes when it starts; a change of their controls during
// the run does not reach it.
struct Serie {
  double fotogramas = 0;
  double pasosFoto = 0;
  double posicion = 0;
  double antesMs = 0;       // T.A.F.
  double despuesMs = 0;     // T.P.F.
  std::string tiempoPaso;   // made whole milliseconds at every step
  bool atras = false;
  stack::Ajustes_Disparo disparo;
};

void Fotograma(Form_Principal& f, Serie& s) {
  f.Esperar(s.antesMs);
  f.DoEvents();
  // The photo box, the shot kind and the stop flag are read again at every
  // frame.
  if (f.Check1.value() == 1) {
    stack::Tomar_Foto(f, s.disparo);
    f.Esperar(s.despuesMs);
    f.DoEvents();
  }
  f.LED.setFillColor(kGreen);
  for (double i = 1; i <= s.pasosFoto; i += 1) {
    if (f.Parada == 1) break;
    // The step time is converted before its letter goes out, so a caption
    // that is no number ends the run without a letter it cannot follow
    // with the wait.
    f.Dar_Paso(s.atras, s.posicion, motion::Leer_Retardo(s.tiempoPaso, false));
  }
  motion::Enviar_Orden(f, "p");
  f.LED.setFillColor(kRed);
  f.DoEvents();
}

}  // namespace

void Form_Principal::B_Procesar_Click() {
  // A run or a positioning move clicked while one executes is refused
  // before it touches the stop flag.
  if (motion::Rechazar_Si_En_Marcha(*this)) return;
  motion::Marcha marcha(*this);
  try {
    Serie s;
    s.disparo.tecla = stack::Nombre_Tecla(Combo1.listIndex());
    s.fotogramas = leadingNumber(Text4.text());
    s.pasosFoto = leadingNumber(Text3.text());
    s.posicion = leadingNumber(Text2.text());
    Parada = 0;
    s.antesMs = leadingNumber(Text10.text()) * 1000;
    s.despuesMs = leadingNumber(Text5.text()) * 1000;
    s.tiempoPaso = lblVelocidad.caption();
    s.disparo.retardoEspejoMs = toSingle(leadingNumber(temEsp.text()) * 1000);
    if (Command_CONECTAR.caption() != "DESCONECTAR") {
      MsgBox("Sin conexión  puerto COM.");
      return;
    }
    s.atras = CheckM1.value() == 1;
    if (s.pasosFoto == 0) {
      MsgBox("Nº de pasos incorrecto");
    } else {
      Text_Mensajes.setText(s.atras ? "Moviendo hacia atras" : "Moviendo hacia adelante");
      // Frames below 1 give no frame; after a stop the rest are skipped.
      for (double n = 1; n <= s.fotogramas; n += 1)
        if (Parada != 1) Fotograma(*this, s);
    }
    motion::Enviar_Orden(*this, "p");
    LED.setFillColor(kRed);
  } catch (const platform::Failure& failure) {
    Mostrar_Fallo_Enlace(failure, true);
  }
}

}  // namespace velmira
