// The positioning move of the "Mover" button.
#include "app/form_principal.h"
#include "base/numbers.h"
#include "motion/motion.h"

namespace velmira {

void Form_Principal::Mover_Click() {
  // A second move or a stack run clicked during one of the event passes of
  // a move or run is refused, before it touches the stop flag.
  if (motion::Rechazar_Si_En_Marcha(*this)) return;
  motion::Marcha marcha(*this);

  double pasos = leadingNumber(Text9.text());
  double posicion = leadingNumber(Text2.text());
  Parada = 0;
  try {
    int32_t retardo = motion::Leer_Retardo(lblVelocidad.caption(), true);
    bool atras = CheckP3.value() == 1;
    if (Command_CONECTAR.caption() != "DESCONECTAR") {
      MsgBox("Sin conexión  puerto COM.");
      return;
    }
    if (pasos == 0) {
      MsgBox("Nº de pasos no puede ser Cero");
    } else {
      Text_Mensajes.setText(atras ? "Moviendo hacia atras" : "Moviendo hacia adelante");
      LED.setFillColor(kGreen);
      // A fractional count runs its whole part; below 1 no step runs.
      motion::Pasos_En_Curso enCurso(*this);
      for (double i = 1; i <= pasos; i += 1) {
        if (Parada == 1) break;
        Dar_Paso(atras, posicion, retardo);
      }
    }
    motion::Enviar_Orden(*this, "p");
    LED.setFillColor(kRed);
  } catch (const platform::Failure& failure) {
    Mostrar_Fallo_Enlace(failure, true);
  }
}

}  // namespace velmira
