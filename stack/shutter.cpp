// The shutter mode controls, the key press and the three shots.
#include "stack/shutter.h"

#include <iterator>

#include "base/numbers.h"
#include "motion/motion.h"
#include "stack/camera_shot.h"

namespace velmira {
namespace stack {
namespace {

struct Tecla { const char* nombre; int32_t codigo; };
constexpr Tecla kTeclas[] = {{"F6", 117}, {"F7", 118},  {"F8", 119}, {"F9", 120},
                             {"F10", 121}, {"F11", 122}, {"F12", 123}};

double Leer_Fotos(Form_Principal& f) {
  std::optional<double> fotos = textToNumber(f.Nfotos.text());
  if (!fotos) throw platform::Failure("Tipo no coincidente");
  return *fotos;
}

void Contar_Foto(Form_Principal& f) { f.Nfotos.setText(numberToText(Leer_Fotos(f) + 1)); }

// One actuation of the controller's shutter output: "r", held 1000 ms, "s".
void Accionar(Form_Principal& f) {
  motion::Enviar_Orden(f, "r");
  f.Esperar(1000);
  motion::Enviar_Orden(f, "s");
}

void Disparo_Controlador(Form_Principal& f) {
  // The count is read before "r": a count that is no number then ends the
  // run with the shutter output released, not held on after an "r" whose
  // "s" never comes.  Nothing runs during the hold, so the count raised
  // after it is the one read here.
  double fotos = Leer_Fotos(f);
  motion::Enviar_Orden(f, "r");
  f.Esperar(1000);
  f.Nfotos.setText(numberToText(fotos + 1));
  f.DoEvents();
  motion::Enviar_Orden(f, "s");
}

void Disparo_Espejo(Form_Principal& f, float retardoEspejoMs) {
  Accionar(f);  // the mirror goes up
  Contar_Foto(f);
  f.Esperar(retardoEspejoMs);
  f.DoEvents();
  Accionar(f);  // the photo
}

// The run cannot take this photo: it stops as when no key is selected.
void Detener_Serie(Form_Principal& f, const std::string& mensaje) {
  f.MsgBox(mensaje);
  motion::Detener(f, true);
}

bool Disparo_Tecla(Form_Principal& f, const std::optional<std::string>& nombre) {
  std::optional<int32_t> codigo = nombre ? Codigo_Tecla(*nombre) : std::nullopt;
  if (!codigo) {
    Detener_Serie(f, "Selecciona Tecla de disparo");
    return false;
  }
  // Without a way to synthesise the key the camera program would never see
  // it and the photo would be counted without being taken: the run stops,
  // says why, and counts nothing.
  if (std::optional<std::string> motivo = f.plataforma().keys.unavailableReason()) {
    Detener_Serie(f, "No se puede enviar la tecla de disparo: " + *motivo);
    return false;
  }
  // Said once per program run, before the first key shot that has it; the
  // run goes on.
  if (!f.Aviso_Tecla_Dado) {
    if (std::optional<std::string> aviso = f.plataforma().keys.caveat()) {
      f.Aviso_Tecla_Dado = true;
      f.MsgBox(*aviso);
    }
  }
  // What stops nothing goes to the message field: the run is not held.
  if (std::optional<std::string> nota = f.plataforma().keys.notice()) f.Text_Mensajes.setText(*nota);
  const std::string antes = f.Nfotos.text();
  Contar_Foto(f);
  f.Pulsar_Tecla(*codigo);
  // A key the desktop did not take is no photo: the count goes back and the
  // run stops with the cause.
  if (std::optional<std::string> fallo = f.plataforma().keys.failure()) {
    f.Nfotos.setText(antes);
    Detener_Serie(f, "No se puede enviar la tecla de disparo: " + *fallo);
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> Nombre_Tecla(int indice) {
  if (indice < 0 || indice >= static_cast<int>(std::size(kTeclas))) return std::nullopt;
  return kTeclas[indice].nombre;
}

std::optional<int32_t> Codigo_Tecla(const std::string& nombre) {
  for (const Tecla& t : kTeclas)
    if (nombre == t.nombre) return t.codigo;
  return std::nullopt;
}

namespace {

enum class Tipo { Controlador, Espejo, Tecla };

Tipo Tipo_Disparo(Form_Principal& f) {
  if (f.temEsp.visible()) return f.CheckEsp.value() == 0 ? Tipo::Controlador : Tipo::Espejo;
  // "Disparador" with the delay field hidden (a click of the mirror box hid
  // it): the controller fires the camera, and a hidden delay means no mirror
  // lock-up, so one actuation; the hidden key list is not used.
  if (f.Disparo.listIndex() == 1) return Tipo::Controlador;
  return Tipo::Tecla;
}

}  // namespace

bool Tomar_Foto(Form_Principal& f, const Ajustes_Disparo& ajustes) {
  switch (Tipo_Disparo(f)) {
    case Tipo::Controlador: Disparo_Controlador(f); return true;
    case Tipo::Espejo: Disparo_Espejo(f, ajustes.retardoEspejoMs); return true;
    case Tipo::Tecla: return Disparo_Tecla(f, ajustes.tecla);
  }
  return true;
}

void Preparar_Disparo(Form_Principal& f) {
  // The USB camera fires itself: no key to ask permission for.
  if (f.Disparo.listIndex() == kModoCamara) return;
  if (f.Check1.value() == 1 && Tipo_Disparo(f) == Tipo::Tecla) f.plataforma().keys.prepare();
}

double Duracion_Disparo(Form_Principal& f, const Ajustes_Disparo& ajustes) {
  switch (Tipo_Disparo(f)) {
    case Tipo::Controlador: return 1000;
    case Tipo::Espejo: return 2000 + ajustes.retardoEspejoMs;
    case Tipo::Tecla: return 0;
  }
  return 0;
}

}  // namespace stack

void Form_Principal::Disparo_Click() {
  bool disparador = Disparo.listIndex() == 1;
  if (Disparo.listIndex() == stack::kModoCamara) {
    // The camera fires itself: neither a key nor the mirror's actuations.
    Label3.setVisible(false);
    Combo1.setVisible(false);
    Ocultar_Grupo_Espejo();
    stack::Buscar_Camara(*this);
    return;
  }
  if (!disparador && Command_CONECTAR.caption() == "DESCONECTAR") platform_.keys.prepare();
  if (disparador) {
    Label3.setVisible(false);
    Combo1.setVisible(false);
    DLabel.setVisible(true);
    temEsp.setVisible(true);
    CheckEsp.setVisible(true);
    EspL.setVisible(true);
  } else {
    Label3.setVisible(true);
    Combo1.setVisible(true);
    Ocultar_Grupo_Espejo();
  }
}

void Form_Principal::Ocultar_Grupo_Espejo() {
  DLabel.setVisible(false);
  temEsp.setVisible(false);
  CheckEsp.setVisible(false);
  EspL.setVisible(false);
}

void Form_Principal::CheckEsp_Click() {
  // Each click flips the delay field and its caption; the box's own value
  // is not read.
  if (!temEsp.visible()) {
    temEsp.setVisible(true);
    DLabel.setVisible(true);
  } else {
    temEsp.setVisible(false);
    DLabel.setVisible(false);
  }
}

void Form_Principal::Pulsar_Tecla(int32_t& Tecla) {
  // Down and up back to back: no event pass between them.  The key path
  // hands the release over only once the desktop has taken the press (a
  // portal that serves its calls in parallel would otherwise let the
  // release overtake the press and leave the key held down).
  uint8_t vk = static_cast<uint8_t>(Tecla);
  platform_.keys.keyEvent(vk, 0, 0, 0);
  platform_.keys.keyEvent(vk, 0, 2, 0);
}

}  // namespace velmira
