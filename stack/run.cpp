#include "app/form_principal.h"

namespace velmira {

void Form_Principal::B_Procesar_Click() {}

}  // namespace velmira
