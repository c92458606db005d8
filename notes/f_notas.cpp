#include "notes/f_notas.h"

#include "base/cp1252.h"

namespace velmira {

F_Notas::F_Notas(platform::Platform& platform)
    : B_Volver("B_Volver", {4800, 2160, 855, 375}, "Volver"),
      L_Notas("L_Notas", {0, 0, 4575, 4455}, "Notas"),
      platform_(platform) {
  L_Notas.setTransparent(false);
  L_Notas.setWordWrap(true);
  L_Notas.setFont(Font{"MS Sans Serif", 8.25, false});
  B_Volver.setFont(Font{"MS Sans Serif", 8.25, false});
  B_Volver.onClick = [this] { B_Volver_Click(); };
  B_Volver.setObserver(&onControlChanged);
  L_Notas.setObserver(&onControlChanged);
}

void F_Notas::Show() {
  if (!loaded_) Form_Load();
  visible_ = true;
  if (onWindowChanged) onWindowChanged();
}

void F_Notas::Colocar() {
  platform::ScreenSize screen = platform_.process.screen();
  Left = static_cast<int>(static_cast<double>(screen.widthTwips) - width_);
  Top = static_cast<int>(screen.heightTwips / 2.0 - height_ / 2.0);
}

void F_Notas::Form_Load() {
  loaded_ = true;
  Colocar();
  // The bare name: resolved against the current directory, not the
  // program's.  Notes written on the original platform are Windows-1252;
  // notes edited on Linux are usually UTF-8, which reads as such.
  std::optional<platform::Contents> leido = platform_.files.read(kFileName, kLimiteNotas);
  if (leido) {
    std::string bytes = std::move(leido->bytes);
    if (leido->cut) {
      // Cut at the last line break, so that no character is cut in two.
      const size_t fin = bytes.find_last_of('\n');
      if (fin != std::string::npos) bytes.resize(fin + 1);
    }
    std::string texto = looksLikeUtf8(bytes) ? bytes : cp1252ToUtf8(bytes);
    if (leido->cut) texto += kNotasCortadas;
    L_Notas.setCaption(texto);
  } else {
    L_Notas.setCaption("No se encuentra el archivo de notas \"Notas.txt\" en la carpeta actual.");
  }
}

void F_Notas::B_Volver_Click() {
  visible_ = false;
  if (onWindowChanged) onWindowChanged();
}

void F_Notas::Form_Unload() {
  loaded_ = false;
  visible_ = false;
  L_Notas.setCaption("Notas");
  if (onWindowChanged) onWindowChanged();
}

}  // namespace velmira
