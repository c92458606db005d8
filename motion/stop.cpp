#include "app/form_principal.h"

namespace velmira {

void Form_Principal::Parar_Click() {}
void Form_Principal::AbortarP_Click() {}
void Form_Principal::Limpia_Click() {}
void Form_Principal::LimpiaF_Click() {}

}  // namespace velmira
