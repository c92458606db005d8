// F_Notas: the modeless notes window that shows "Notas.txt" from the
// current directory.  The file is read once per load: hiding the window with
// "Volver" and showing it again shows the same text; closing it with its
// close box unloads it, and the next "Notas" reads the file anew.
#pragma once

#include <string>

#include "base/controls.h"
#include "platform/platform.h"

namespace velmira {

class F_Notas {
 public:
  explicit F_Notas(platform::Platform& platform);

  static constexpr int kClientWidth = 5835;   // twips
  static constexpr int kClientHeight = 4560;
  static constexpr const char* kFileName = "Notas.txt";
  // More than anyone writes as notes; of a larger file (or a link to a
  // device that never ends) only the beginning is shown, and this after it.
  static constexpr size_t kLimiteNotas = 2 * 1024 * 1024;
  static constexpr const char* kNotasCortadas =
      "\r\n(El archivo de notas es demasiado largo: solo se muestra su principio.)";

  Button B_Volver;
  Label L_Notas;

  const std::string caption() const { return "Notas"; }
  int Left = 0, Top = 0;
  int width() const { return width_; }  // outer size, twips
  int height() const { return height_; }
  void initOuterSize(int w, int h) { width_ = w; height_ = h; }

  bool loaded() const { return loaded_; }
  bool visible() const { return visible_; }

  // Show, loading first when not loaded (the Notas button).
  void Show();
  platform::Platform& plataforma() { return platform_; }
  void Form_Load();
  // At the right edge of the screen, vertically centred, by the outer size:
  // the load handler's placement, done again by the view once the window
  // system has framed the window and its real outer size is known.
  void Colocar();
  void B_Volver_Click();
  // The close box: unloads the window.
  void Form_Unload();

  Observer onControlChanged;
  // Called when the window is shown, hidden or moved.
  std::function<void()> onWindowChanged;

 private:
  platform::Platform& platform_;
  int width_ = kClientWidth;
  int height_ = kClientHeight;
  bool loaded_ = false;
  bool visible_ = false;
};

}  // namespace velmira
