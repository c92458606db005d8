// The notes window on screen: "Volver" and the text of the notes file.
#pragma once

#include <QWidget>
#include <memory>

#include "notes/f_notas.h"
#include "qt/control_widgets.h"
#include "qt/model_window.h"

namespace velmira::qt {

class NotesView : public ModelWindow {
 public:
  NotesView(F_Notas& notes, Form_Principal* form);
  ~NotesView() override;
  CaptionButton* volver() const { return volver_; }
  ModelLabel* text() const { return text_; }

 protected:
  void unload() override;
  void outerSizeChanged(QSize outer) override;

 private:
  void windowChanged();
  F_Notas& notes_;
  Form_Principal* form_;
  CaptionButton* volver_;
  ModelLabel* text_;
};

}  // namespace velmira::qt
