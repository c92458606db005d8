#include "app/form_principal.h"

namespace velmira {

int Form_Principal::Verificar_Tecla(int& t) { return t; }
int Form_Principal::Verificar_Tecla1(int& t) { return t; }
int Form_Principal::Verificar_Tecla2(int& t) { return t; }

}  // namespace velmira
