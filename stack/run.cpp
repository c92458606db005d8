// The stack run of the "Procesar" button: for each frame a pause, a photo,
// a pause and a move, then "p".
#include <algorithm>
#include <cmath>

#include "app/form_principal.h"
#include "base/numbers.h"
#include "motion/motion.h"
#include "stack/camera_shot.h"
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
  // "Cámara USB": the camera, open from the run's start to its end, with
  // the stack's folder and record.  Fixed when the run starts: a change of
  // the mode during the run reaches the next run.
  bool modoCamara = false;
  std::unique_ptr<stack::Sesion_Camara> camara;
};

// What the stack's record keeps of the fields, as the run read them.
std::vector<std::pair<std::string, std::string>> Parametros(Form_Principal& f, const Serie& s) {
  return {{"Nº Fotogramas", f.Text4.text()},
          {"Nº Pasos por fotograma", f.Text3.text()},
          {"Posición inicial", f.Text2.text()},
          {"Milimetros por Paso", f.Text6.text()},
          {"Desplazamiento (mm)", f.Text7.text()},
          {"Despl. Total (mm)", f.Text8.text()},
          {"Velocidad (ms por paso)", s.tiempoPaso},
          {"Dirección", s.atras ? "hacia atras" : "hacia adelante"},
          {"T.A.F. (s)", f.Text10.text()},
          {"T.P.F. (s)", f.Text5.text()},
          {"Tomar Foto", f.Check1.value() == 1 ? "sí" : "no"},
          {"Modo de Disparo", f.Disparo.text()},
          {"Puerto del carril", f.ComboBoxCOM.text()}};
}

// The camera the run fires, opened the first time a photo is due (at the
// run's start when the photo box is ticked): opening takes seconds with
// most cameras, so it stays open to the end.  Null when it could not be
// opened (the run was stopped).
stack::Sesion_Camara* Camara(Form_Principal& f, Serie& s) {
  if (!s.camara && f.plataforma().camera) {
    s.camara = std::make_unique<stack::Sesion_Camara>(f, *f.plataforma().camera);
    if (!s.camara->Abrir(Parametros(f, s))) return nullptr;
  } else if (!s.camara) {
    f.plataforma().messages.show(
        {stack::kSinCamara, f.plataforma().process.title(), platform::Icon::Critical, {}});
    motion::Detener(f, true);
    return nullptr;
  }
  return s.camara->fallo().empty() ? s.camara.get() : nullptr;
}

void Fotograma(Form_Principal& f, Serie& s) {
  f.Esperar(s.antesMs);
  f.DoEvents();
  // The photo box, the shot kind and the stop flag are read again at every
  // frame.
  if (f.Check1.value() == 1) {
    if (s.modoCamara) {
      stack::Sesion_Camara* camara = Camara(f, s);
      if (camara && camara->Disparar(s.posicion)) ++s.fotos;
    } else if (stack::Tomar_Foto(f, s.disparo)) {
      ++s.fotos;
    } else {
      s.sinTecla = true;
    }
    f.Esperar(s.despuesMs);
    f.DoEvents();
  }
  f.LED.setFillColor(kGreen);
  {
    motion::Pasos_En_Curso enCurso(f);
    for (double i = 1; i <= s.pasosFoto; i += 1) {
      if (f.Parada == 1) break;
      // The step time is converted before its letter goes out, so a caption
      // that is no number ends the run without a letter it cannot follow
      // with the wait.
      f.Dar_Paso(s.atras, s.posicion, motion::Leer_Retardo(s.tiempoPaso, false));
    }
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

// A USB camera takes about two seconds to shoot and hand over a photo.
constexpr double kDisparoCamaraMs = 2000;

double Duracion(Form_Principal& f, const Serie& s) {
  return s.modoCamara ? kDisparoCamaraMs : stack::Duracion_Disparo(f, s.disparo);
}

// How the record says the run ended.
std::string Final(Form_Principal& f, const Serie& s) {
  if (s.camara && !s.camara->fallo().empty()) return "detenida: " + s.camara->fallo();
  return f.Parada != 1 ? "terminada" : "detenida por el usuario";
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
                           (foto ? Duracion(f, s) + std::max(0.0, s.despuesMs) : 0);
  plan.expectedMs = static_cast<int64_t>(std::min(fotograma * plan.frames, 1e15));
  return plan;
}

// Why the stack cannot be fused goes to the message field.  After a
// failure (the camera's, the link's) the field keeps that cause first: it
// says why the run stopped, and the box that said it is gone.
void Decir_Apilado(Form_Principal& f, const std::string& texto, bool trasFallo) {
  std::string antes = f.Text_Mensajes.text();
  if (!trasFallo || antes.empty()) return f.Text_Mensajes.setText(texto);
  if (antes.back() != '.') antes += '.';
  f.Text_Mensajes.setText(antes + " " + texto);
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
    s.modoCamara = Disparo.listIndex() == stack::kModoCamara;
    if (s.pasosFoto == 0) {
      MsgBox("Nº de pasos incorrecto");
    } else {
      Text_Mensajes.setText(s.atras ? "Moviendo hacia atras" : "Moviendo hacia adelante");
      stack::Preparar_Disparo(*this);
      plan = Plan(*this, s);
      inicio = platform_.clock.nowMs();
      if (escritorio) escritorio->runStarted(*plan);
      // The camera is opened before the first frame, and a camera that
      // cannot be opened stops the run before it moves.
      if (s.modoCamara && Check1.value() == 1) Camara(*this, s);
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
    const std::string carpeta = s.camara ? s.camara->carpeta() : std::string();
    if (s.camara)
      if (std::optional<std::string> apilado = s.camara->Terminar(Final(*this, s)))
        Decir_Apilado(*this, *apilado, !s.camara->fallo().empty());
    if (escritorio && plan) {
      const bool fallaCamara = s.camara && !s.camara->fallo().empty();
      const RunEnd how = Parada != 1   ? RunEnd::Finished
                         : fallaCamara ? RunEnd::CameraFailed
                         : s.sinTecla  ? RunEnd::NoKey
                                       : RunEnd::Stopped;
      escritorio->runEnded({how, s.fotograma, plan->frames, s.fotos, platform_.clock.nowMs() - inicio, carpeta,
                            fallaCamara ? s.camara->fallo() : std::string()});
    }
  } catch (const platform::Failure& failure) {
    const std::string carpeta = s.camara ? s.camara->carpeta() : std::string();
    // The fusion starts before the box, which may wait long for the user.
    std::optional<std::string> apilado;
    if (s.camara) apilado = s.camara->Terminar("fallo del enlace con el controlador");
    if (escritorio && plan)
      escritorio->runEnded({RunEnd::LinkFailed, s.fotograma, plan->frames, s.fotos,
                            platform_.clock.nowMs() - inicio, carpeta, {}});
    Mostrar_Fallo_Enlace(failure, true);
    if (apilado) Decir_Apilado(*this, *apilado, true);
  }
}

}  // namespace velmira
