// Port discovery: the "Buscar Puerto" button and the scan of start-up.
#include <algorithm>
#include <cctype>
#include <exception>

#include "app/form_principal.h"

namespace velmira {
namespace {

// Position of the last "COM" in `name`, ignoring case.
size_t lastComIgnoringCase(const std::string& name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper.rfind("COM");
}

}  // namespace

int Form_Principal::Buscar_Puertos() {
  std::vector<std::string> names;
  try {
    names = platform_.devices.displayNames();
  } catch (const std::exception&) {
    // An enumeration that fails finds nothing: the list then tells the user
    // that no port was found, as for a machine without ports.
    names.clear();
  }
  for (const std::string& name : names) {
    if (name.find("COM") == std::string::npos) continue;  // upper case only
    ComboBoxCOM.addItem(name);
    size_t at = lastComIgnoringCase(name);
    // A number too large for a port number counts as no number (0): such an
    // item is listed but opens nothing.
    int16_t number = toInt16(leadingNumber(name.substr(at + 3))).value_or(0);
    ComboBoxCOM.setItemData(ComboBoxCOM.newIndex(), number);
  }
  return ComboBoxCOM.listCount();
}

void Form_Principal::Mostrar_Sin_Puertos(const std::string& texto) {
  ComboBoxCOM.clear();
  Command_CONECTAR.setEnabled(false);
  ComboBoxCOM.setEnabled(false);
  Font f = Text_Mensajes.font();
  f.bold = true;
  f.size = 10;
  Text_Mensajes.setFont(f);
  Text_Mensajes.setText(texto);
}

void Form_Principal::BuscarPuerto_Click() {
  if (Buscar_Puertos() == 0) {
    Mostrar_Sin_Puertos("ERROR \r\nNo se encontraron puertos COM..");
  } else {
    Command_CONECTAR.setEnabled(true);
    ComboBoxCOM.setEnabled(true);
    ComboBoxCOM.setText("Seleccionar Puerto");
    Ultima_Fase = Variant::text("d");
  }
}

}  // namespace velmira
