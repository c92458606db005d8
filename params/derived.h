// The derived stack values: travel per frame, steps per frame, total travel
// and the recommended number of photos, recomputed when the user confirms one
// of the five stack fields with Enter, and by the overlap button.
//
// The window variables are dynamically typed (app/variant.h): assigning a
// field stores its text, and every product or quotient reads its operands as
// numbers at that moment.  A value that cannot be computed -- an operand that
// is no number (an empty Text4, a lone or doubled comma pasted into a field),
// a division by zero (a divisor typed as 00 or 0,0), a travel per frame that
// was never computed, a recommendation beyond 32 bits -- keeps its variable
// and the field or label that shows it as they were, and whatever would have
// been computed from it is left alone too.  No message is shown for these:
// the messages belong to the missing inputs only.
#pragma once

#include <optional>

#include "app/form_principal.h"

namespace velmira::params {

// An operand or a result: nothing when it cannot be computed.
using Valor = std::optional<double>;

// A field is given when its text is neither empty nor exactly "0".
bool dado(const TextBox& campo);

// The value as an operand (a text by the comma conversion, empty as 0).
Valor valor(const Variant& v);
Valor producto(Valor a, Valor b);
Valor cociente(Valor a, Valor b);
Valor diferencia(Valor a, Valor b);

// Num_Fotos := text of Text4 as a single; nothing (and Num_Fotos kept) when
// the text is no number or beyond the single range.
Valor leerNumFotos(Form_Principal& f);

// The travel per frame left from an earlier computation; nothing while
// Desplazamiento_Foto was never assigned.
Valor desplazamientoAnterior(const Form_Principal& f);

// Desplazamiento_Total := foto x fotos, shown in Text8; then the
// recommendation total / foto, rounded, in Fotos_Recomendadas and Label17.
void recalcularTotal(Form_Principal& f, Valor foto, Valor fotos);

// The Enter steps of the five stack fields.
void introText3(Form_Principal& f);
void introText6(Form_Principal& f);
void introText7(Form_Principal& f);
void introText8(Form_Principal& f);
void introText4(Form_Principal& f);

}  // namespace velmira::params
