// The three key filters of the numeric fields.  Each admits the ten digits,
// its own extra character, backspace (8) and Enter (13); any other key comes
// back as 0, which swallows it.  The point is admitted nowhere: the decimal
// separator is the comma.
#include <string_view>

#include "app/form_principal.h"

namespace velmira {
namespace {

int filtrar(int tecla, std::string_view permitidos) {
  if (tecla == 8 || tecla == 13) return tecla;
  for (char c : permitidos)
    if (tecla == static_cast<unsigned char>(c)) return tecla;
  return 0;
}

}  // namespace

int Form_Principal::Verificar_Tecla(int& Tecla_Presionada) { return filtrar(Tecla_Presionada, "1234567890,"); }

int Form_Principal::Verificar_Tecla1(int& Tecla_Presionada) { return filtrar(Tecla_Presionada, "1234567890"); }

int Form_Principal::Verificar_Tecla2(int& Tecla_Presionada) { return filtrar(Tecla_Presionada, "1234567890-"); }

}  // namespace velmira
