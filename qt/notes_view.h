// The notes window on screen: "Volver" and the text of the notes file.
#pragma once

#include <QWidget>
#include <memory>

#include "notes/f_notas.h"
#include "qt/control_widgets.h"

namespace velmira::qt {

class NotesView : public QWidget {
 public:
  NotesView(F_Notas& notes, Form_Principal* form);
  ~NotesView() override;
  CaptionButton* volver() const { return volver_; }
  ModelLabel* text() const { return text_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void windowChanged();
  void reportOuterSize();
  F_Notas& notes_;
  Form_Principal* form_;
  CaptionButton* volver_;
  ModelLabel* text_;
};

}  // namespace velmira::qt
