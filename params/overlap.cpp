#include "app/form_principal.h"

namespace velmira {

void Form_Principal::C20_Click() {}

}  // namespace velmira
