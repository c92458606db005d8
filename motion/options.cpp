// The speed scroll bar and the two pairs of direction boxes.
#include "app/form_principal.h"
#include "base/numbers.h"

namespace velmira {
namespace {

// Box `x` of a pair keeps its partner `y` opposite.  Setting `y` raises its
// own handler, which finds `x` already opposite and changes nothing more.
void Emparejar(const CheckBox& x, CheckBox& y) { y.setValue(x.value() == 1 ? 0 : 1); }

}  // namespace

void Form_Principal::hscVelocidad_Change() { lblVelocidad.setCaption(intToText(hscVelocidad.value())); }

void Form_Principal::CheckP3_Click() { Emparejar(CheckP3, CheckP4); }
void Form_Principal::CheckP4_Click() { Emparejar(CheckP4, CheckP3); }
void Form_Principal::CheckM1_Click() { Emparejar(CheckM1, CheckM2); }
void Form_Principal::CheckM2_Click() { Emparejar(CheckM2, CheckM1); }

}  // namespace velmira
