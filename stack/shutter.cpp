#include "app/form_principal.h"

namespace velmira {

void Form_Principal::Disparo_Click() {}
void Form_Principal::CheckEsp_Click() {}
void Form_Principal::Pulsar_Tecla(int32_t&) {}

}  // namespace velmira
