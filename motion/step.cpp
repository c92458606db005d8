// The one motor step shared by the positioning move and the stack run, and
// the small helpers both of them use.
#include "app/form_principal.h"
#include "base/numbers.h"
#include "motion/motion.h"

namespace velmira {
namespace motion {

bool Rechazar_Si_En_Marcha(Form_Principal& f) {
  if (!f.En_Marcha) return false;
  // The click is ignored: nothing is sent and the stop flag, the phase and
  // the counters stay with the move or run that is executing.
  f.Text_Mensajes.setText(kMovimientoEnCurso);
  return true;
}

void Esperar_Reinicio_Placa(Form_Principal& f) {
  if (!f.Hora_Apertura) return;
  int64_t transcurrido = f.plataforma().clock.nowMs() - *f.Hora_Apertura;
  if (transcurrido >= 0 && transcurrido < kReinicioPlacaMs)
    f.Esperar(static_cast<double>(kReinicioPlacaMs - transcurrido));
}

void Enviar_Orden(Form_Principal& f, const std::string& command) {
  Esperar_Reinicio_Placa(f);
  f.Enviar(command);
}

std::string Siguiente_Fase(const std::string& fase, bool atras) {
  struct Fila { const char* fase; const char* adelante; const char* atras; };
  static constexpr Fila kTabla[] = {{"a", "b", "d"}, {"b", "c", "a"}, {"c", "d", "b"}, {"d", "a", "c"}};
  for (const Fila& fila : kTabla)
    if (fase == fila.fase) return atras ? fila.atras : fila.adelante;
  // No phase sent yet (or an unknown one): the board is taken to be in "d",
  // the phase the program assumes from the first port scan on, so the step
  // still goes out instead of being silently counted without a letter.
  return atras ? "c" : "a";
}

int32_t Leer_Retardo(const std::string& texto, bool simple) {
  std::optional<double> valor = textToNumber(texto);
  if (!valor) throw platform::Failure("Tipo no coincidente");
  double ms = simple ? static_cast<double>(toSingle(*valor)) : *valor;
  std::optional<int32_t> entero = toInt32(ms);
  if (!entero) throw platform::Failure("Desbordamiento");
  return *entero;
}

}  // namespace motion

void Form_Principal::Dar_Paso(bool atras, double& posicion, int32_t retardoMs) {
  std::string fase = motion::Siguiente_Fase(Ultima_Fase.toText(), atras);
  motion::Enviar_Orden(*this, fase);
  // The motor is at the last phase it received: a letter whose write failed
  // never reached it, so it is not the last phase.
  Ultima_Fase = Variant::text(fase);
  Esperar(retardoMs);
  posicion += atras ? -1 : 1;
  Text2.setText(numberToText(posicion));
  DoEvents();
}

}  // namespace velmira
