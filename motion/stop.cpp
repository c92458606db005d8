// Stopping and zeroing.
#include "app/form_principal.h"
#include "motion/motion.h"

namespace velmira {

namespace motion {

void Detener(Form_Principal& f, bool desdeLaMarcha) {
  f.Parada = 1;
  try {
    if (f.Command_CONECTAR.caption() == "DESCONECTAR") {
      if (desdeLaMarcha)
        Enviar_Orden(f, "p");
      else
        f.Enviar("p");
    }
    f.LED.setFillColor(kRed);
  } catch (const platform::Failure& failure) {
    if (desdeLaMarcha) throw;
    f.Mostrar_Fallo_Enlace(failure, true);
  }
}

}  // namespace motion

// Both stop buttons do the same: they stop a positioning move and a stack
// run alike, because both loops watch the same flag.
void Form_Principal::Parar_Click() { motion::Detener(*this, false); }
void Form_Principal::AbortarP_Click() { motion::Detener(*this, false); }
void Form_Principal::Limpia_Click() { Text2.setText("0"); }
void Form_Principal::LimpiaF_Click() { Nfotos.setText("0"); }

}  // namespace velmira
