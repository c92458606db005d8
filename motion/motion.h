// Helpers shared by the positioning move and the stack run: the guard that
// keeps a second move or run from starting inside the first, the wait for
// the controller board to come out of its reset, and the step delay.
#pragma once

#include <cstdint>
#include <string>

#include "app/form_principal.h"
#include "platform/stack_fusion.h"

namespace velmira::motion {

// How long an Arduino-class board stays in its bootloader after the port is
// opened (opening pulses DTR and resets it); bytes sent meanwhile are lost.
constexpr int64_t kReinicioPlacaMs = 1500;

// Shown in the message field when a move or run is clicked while another
// one executes.
inline constexpr const char* kMovimientoEnCurso =
    "Movimiento en curso: espere a que termine o párelo antes de empezar otro.";

// Shown by the desktop while the machine is kept awake for a move or run.
inline constexpr const char* kRazonSinSuspension = "Velmira: pila de fotos en curso";

// Marks a move or stack run as executing for as long as it lives, whatever
// way the handler leaves (end, failure, the program ending inside it), and
// meanwhile keeps the machine from going to sleep when the rail is
// connected: a run in "Disparador" mode gets no input for an hour, and the
// session's idle suspend would stop it in the middle.
class Marcha {
 public:
  explicit Marcha(Form_Principal& f) : f_(f) {
    f_.En_Marcha = true;
    desktop_ = f_.Command_CONECTAR.caption() == "DESCONECTAR" ? f_.plataforma().desktop : nullptr;
    if (desktop_) desktop_->inhibitSleep(kRazonSinSuspension);
  }
  ~Marcha() {
    f_.En_Marcha = false;
    if (desktop_) desktop_->releaseSleep();
    if (f_.onRunEnded) f_.onRunEnded();
  }
  Marcha(const Marcha&) = delete;
  Marcha& operator=(const Marcha&) = delete;

 private:
  Form_Principal& f_;
  platform::DesktopSession* desktop_ = nullptr;
};

// While the rail steps, for as long as it lives: the stack being fused
// beside gives way, so that every step keeps its time.
class Pasos_En_Curso {
 public:
  explicit Pasos_En_Curso(Form_Principal& f) : fusion_(f.plataforma().fusion) {
    if (fusion_) fusion_->giveWay(true);
  }
  ~Pasos_En_Curso() {
    if (fusion_) fusion_->giveWay(false);
  }
  Pasos_En_Curso(const Pasos_En_Curso&) = delete;
  Pasos_En_Curso& operator=(const Pasos_En_Curso&) = delete;

 private:
  platform::StackFusion* fusion_;
};

// True (and the reason shown) when a move or run is already executing: a
// nested one would share the position count and the stop flag with it, and
// the outer one would overwrite the position with its own count afterwards.
bool Rechazar_Si_En_Marcha(Form_Principal& f);

// Waits, if needed, until the board has had kReinicioPlacaMs since the port
// was opened.  Once that time has passed it waits nothing.
void Esperar_Reinicio_Placa(Form_Principal& f);

// One command of a move or run: the board's reset wait, then the write.
void Enviar_Orden(Form_Principal& f, const std::string& command);

// Stops the move or run that executes: the stop flag, "p" to a connected
// controller, the motor indicator red.  From a stop button (`desdeLaMarcha`
// false) the "p" goes out at once and a failed write is shown as the link's
// failure; from inside a run it waits out the board's reset like the run's
// other commands, and a failed write is the run's to handle.
void Detener(Form_Principal& f, bool desdeLaMarcha);

// The successor of `fase` in the phase order, backwards when `atras`.
std::string Siguiente_Fase(const std::string& fase, bool atras);

// A step time text in milliseconds made a whole number (comma decimal,
// halves to even), held in single precision first when `simple` (as the
// positioning move keeps it).  Throws platform::Failure when the text is no
// number or the value is outside the 32-bit range.
int32_t Leer_Retardo(const std::string& texto, bool simple);

}  // namespace velmira::motion
