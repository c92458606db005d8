#include "app/form_principal.h"

namespace velmira {

void Form_Principal::Dar_Paso(bool, double&, int32_t) {}

}  // namespace velmira
