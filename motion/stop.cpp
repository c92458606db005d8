// Stopping and zeroing.
#include "app/form_principal.h"

namespace velmira {
namespace {

// Both stop buttons do the same: they stop a positioning move and a stack
// run alike, because both loops watch the same flag.
void Detener(Form_Principal& f) {
  f.Parada = 1;
  try {
    if (f.Command_CONECTAR.caption() == "DESCONECTAR") f.Enviar("p");
    f.LED.setFillColor(kRed);
  } catch (const platform::Failure& failure) {
    f.Mostrar_Fallo_Enlace(failure, true);
  }
}

}  // namespace

void Form_Principal::Parar_Click() { Detener(*this); }
void Form_Principal::AbortarP_Click() { Detener(*this); }
void Form_Principal::Limpia_Click() { Text2.setText("0"); }
void Form_Principal::LimpiaF_Click() { Nfotos.setText("0"); }

}  // namespace velmira
