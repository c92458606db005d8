// The two configuration slots: saving, loading, and slot 1 at start-up.
#include <string>

#include "app/form_principal.h"
#include "config/slot_file.h"

namespace velmira {
namespace {

// Seven lines of a few characters each: a slot file never comes near this.
constexpr size_t kLimiteArchivo = 16 * 1024;

std::string nombreArchivo(int slot) { return slot == 1 ? "configuracion.ini" : "configuracion2.ini"; }

void salvar(Form_Principal& f, int slot) {
  config::SlotValues v{f.Text6.text(),
                       f.Text5.text(),
                       f.Text10.text(),
                       static_cast<int16_t>(f.hscVelocidad.value()),
                       static_cast<int16_t>(f.Combo1.listIndex()),
                       static_cast<int16_t>(f.Disparo.listIndex()),
                       f.temEsp.text()};
  // The new file replaces the old one only once it is completely written, so
  // a save that fails keeps the previous preset; and a failure is said.
  std::optional<std::string> fallo =
      f.plataforma().files.replaceFile(f.rutaPrograma(nombreArchivo(slot)), config::writeSlot(v));
  if (fallo) f.MsgBox("No se pudo guardar la configuración " + std::to_string(slot) + ": " + *fallo);
}

// Selects an item by code.  -1 must clear the selection and the text line:
// setListIndex(-1) would leave the old item's text showing.
void seleccionar(ComboBox& c, int index) {
  if (index < 0) c.setText("");
  else c.setListIndex(index);
}

void aplicar(Form_Principal& f, const config::SlotValues& v) {
  f.Text6.setText(v.milimetros);
  f.Text5.setText(v.tpf);
  f.Text10.setText(v.taf);
  f.hscVelocidad.setValue(v.velocidad);  // runs hscVelocidad_Change when it changes
  seleccionar(f.Combo1, v.tecla);
  seleccionar(f.Disparo, v.modo);  // runs Disparo_Click when an item is chosen
  // No mode is a mode too: it shows the key group.  Deselecting raises no
  // click, so the handler is run here, also when there was no selection
  // before -- at start-up both groups are still visible and must be settled.
  if (v.modo < 0) f.Disparo_Click();
  f.temEsp.setText(v.espejo);
}

enum class Carga { Hecha, NoExiste, NoValida };

// Loads a slot; a file that cannot be read or is not valid changes nothing.
Carga cargar(Form_Principal& f, int slot) {
  const std::string ruta = f.rutaLectura(nombreArchivo(slot));
  if (!f.plataforma().files.exists(ruta)) return Carga::NoExiste;
  std::optional<platform::Contents> bytes = f.plataforma().files.read(ruta, kLimiteArchivo);
  // A file far larger than seven short lines is not a slot file.
  std::optional<config::SlotValues> v = bytes && !bytes->cut ? config::readSlot(bytes->bytes) : std::nullopt;
  const std::string n = std::to_string(slot);
  if (!bytes) {
    f.MsgBox("No se pudo leer el archivo de configuración " + n + ": no se ha cargado nada.");
    return Carga::NoValida;
  }
  if (!v) {
    f.MsgBox("El archivo de configuración " + n + " no es válido: no se ha cargado nada.");
    return Carga::NoValida;
  }
  aplicar(f, *v);
  return Carga::Hecha;
}

void cargarBoton(Form_Principal& f, int slot) {
  if (cargar(f, slot) == Carga::NoExiste) f.MsgBox("No existe archivo de configuración " + std::to_string(slot));
}

}  // namespace

void Form_Principal::SalvarC_Click() { salvar(*this, 1); }
void Form_Principal::SalvarC2_Click() { salvar(*this, 2); }
void Form_Principal::CargarC_Click() { cargarBoton(*this, 1); }
void Form_Principal::CargarC2_Click() { cargarBoton(*this, 2); }

void Form_Principal::Cargar_Configuracion_Inicio() {
  // Missing: the key group alone stays visible, and the user is told.
  if (!plataforma().files.exists(rutaLectura(nombreArchivo(1)))) {
    Ocultar_Grupo_Espejo();
    MsgBox("No existe archivo de configuración");
    return;
  }
  // Unreadable or not valid: the message of the button, and the window is
  // settled as without a file, so that the two shutter groups do not stay
  // on top of each other.  The group is hidden after the message, which
  // tells the user why nothing was loaded.
  if (cargar(*this, 1) == Carga::NoValida) Ocultar_Grupo_Espejo();
}

}  // namespace velmira
