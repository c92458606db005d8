// The overlap button: takes 20 % off the travel per frame that Text7 holds
// now, and recomputes the steps per frame, the total travel and the
// recommendation from the shortened value.
#include "app/form_principal.h"
#include "base/numbers.h"
#include "params/derived.h"

namespace velmira {

void Form_Principal::C20_Click() {
  using namespace params;
  if (!dado(Text6)) {
    MsgBox("Falta milimetros por paso");
    SetFocus(Text6);
    return;
  }
  if (!dado(Text7)) {
    MsgBox("Falta Desplazamiento (mm)");
    SetFocus(Text7);
    return;
  }
  Desplazamiento_Foto = Variant::text(Text7.text());
  Milimetros_Paso = Variant::text(Text6.text());
  Valor fotos = leerNumFotos(*this);

  // The reduction is kept as text (15 significant digits) and read back.
  Valor antes = valor(Desplazamiento_Foto);
  Valor veinte = cociente(producto(antes, 20.0), 100.0);
  Valor reduccion = veinte ? valor(Variant::text(numberToText(*veinte))) : std::nullopt;
  Valor foto = diferencia(antes, reduccion);
  // Text7 holds no number (a pasted comma): nothing to shorten.
  if (!foto) return;
  Desplazamiento_Foto = Variant::number(*foto);
  Text7.setText(numberToText(*foto));

  Valor pasos = cociente(foto, valor(Milimetros_Paso));
  if (pasos) {
    Pasos_Foto = Variant::number(*pasos);
    Text3.setText(numberToText(*pasos));
  }
  recalcularTotal(*this, foto, fotos);
}

}  // namespace velmira
