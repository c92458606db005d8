#include "app/form_principal.h"

namespace velmira {

void Form_Principal::Mover_Click() {}

}  // namespace velmira
