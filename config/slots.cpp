#include "app/form_principal.h"

namespace velmira {

void Form_Principal::SalvarC_Click() {}
void Form_Principal::CargarC_Click() {}
void Form_Principal::SalvarC2_Click() {}
void Form_Principal::CargarC2_Click() {}
void Form_Principal::Cargar_Configuracion_Inicio() {}

}  // namespace velmira
