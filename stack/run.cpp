// The stack run of the "Procesar" button: for each frame a pause, a photo,
// a pause and a move, then "p".
#include <algorithm>
#include <cmath>

#include "app/form_principal.h"
#include "base/numbers.h"
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
  // What the desktop is told of the run.
  int fotograma = 0;     // the frame under way
  int fotos = 0;         // photos this run took
  bool sinTecla = false; // stopped because no key could be sent
};

void Fotograma(Form_Principal& f, Serie& s) {
  f.Esperar(s.antesMs);
  f.DoEvents();
  // The photo box, the shot kind and the stop flag are read again at every
  // frame.
  if (f.Check1.value() == 1) {
    if (stack::Tomar_Foto(f, s.disparo))
      ++s.fotos;
    else
      s.sinTecla = true;
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

// The whole frames the loop runs: 1 to `fotogramas`.
int Fotogramas_Enteros(double fotogramas) {
  if (!(fotogramas >= 1)) return 0;
  return fotogramas >= 1e9 ? 1'000'000'000 : static_cast<int>(fotogramas);
}

// How long the run will take, from the values it fixed at its start and
// the shot the window chooses now.
platform::DesktopSession::RunPlan Plan(Form_Principal& f, const Serie& s) {
  platform::DesktopSession::RunPlan plan;
  plan.frames = Fotogramas_Enteros(s.fotogramas);
  const bool foto = f.Check1.value() == 1;
  plan.photos = foto ? plan.frames : 0;
  const double pasos = s.pasosFoto >= 1 ? std::floor(s.pasosFoto) : 0;
  const double retardo = std::max(0.0, textToNumber(s.tiempoPaso).value_or(0));
  const double fotograma = std::max(0.0, s.antesMs) + pasos * retardo +
                           (foto ? stack::Duracion_Disparo(f, s.disparo) + std::max(0.0, s.despuesMs) : 0);
  plan.expectedMs = static_cast<int64_t>(std::min(fotograma * plan.frames, 1e15));
  return plan;
}

}  // namespace

void Form_Principal::B_Procesar_Click() {
  // A run or a positioning move clicked while one executes is refused
  // before it touches the stop flag.
  if (motion::Rechazar_Si_En_Marcha(*this)) return;
  motion::Marcha marcha(*this);
  using RunEnd = platform::DesktopSession::RunEnd;
  platform::DesktopSession* escritorio = platform_.desktop;
  std::optional<platform::DesktopSession::RunPlan> plan;  // once the frames begin
  int64_t inicio = 0;
  Serie s;
  try {
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
      stack::Preparar_Disparo(*this);
      plan = Plan(*this, s);
      inicio = platform_.clock.nowMs();
      if (escritorio) escritorio->runStarted(*plan);
      // Frames below 1 give no frame; after a stop the rest are skipped.
      for (double n = 1; n <= s.fotogramas; n += 1) {
        if (Parada == 1) continue;
        s.fotograma = Fotogramas_Enteros(n);
        Fotograma(*this, s);
        if (escritorio && Parada != 1) escritorio->runProgress(s.fotograma, plan->frames);
      }
    }
    motion::Enviar_Orden(*this, "p");
    LED.setFillColor(kRed);
    if (escritorio && plan) {
      const RunEnd how = Parada != 1 ? RunEnd::Finished : s.sinTecla ? RunEnd::NoKey : RunEnd::Stopped;
      escritorio->runEnded({how, s.fotograma, plan->frames, s.fotos, platform_.clock.nowMs() - inicio});
    }
  } catch (const platform::Failure& failure) {
    if (escritorio && plan)
      escritorio->runEnded({RunEnd::LinkFailed, s.fotograma, plan->frames, s.fotos, platform_.clock.nowMs() - inicio});
    Mostrar_Fallo_Enlace(failure, true);
  }
}

}  // namespace velmira
