#include "app/form_principal.h"

namespace velmira {

void Form_Principal::hscVelocidad_Change() {}
void Form_Principal::CheckP3_Click() {}
void Form_Principal::CheckP4_Click() {}
void Form_Principal::CheckM1_Click() {}
void Form_Principal::CheckM2_Click() {}

}  // namespace velmira
