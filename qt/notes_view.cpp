#include "qt/notes_view.h"

#include <QCoreApplication>

#include "qt/handler_call.h"
#include "qt/look.h"
#include "qt/qt_platform.h"
#include "qt/window_frame.h"

namespace velmira::qt {

NotesView::NotesView(F_Notas& notes, Form_Principal* form)
    : ModelWindow(notes.plataforma().clock),
      notes_(notes),
      form_(form),
      volver_(new CaptionButton(notes.B_Volver, form, this)),
      text_(new ModelLabel(notes.L_Notas, this)) {
  setObjectName(QStringLiteral("F_Notas"));
  volver_->setObjectName(QStringLiteral("B_Volver"));
  text_->setObjectName(QStringLiteral("L_Notas"));
  setFixedSize(px(F_Notas::kClientWidth), px(F_Notas::kClientHeight));
  setWindowTitle(qs(notes.caption()));
  setTabOrder(volver_, text_);
  notes_.onControlChanged = [this](Control& c) {
    if (&c == &notes_.B_Volver) volver_->refresh();
    if (&c == &notes_.L_Notas) text_->refresh();
  };
  notes_.onWindowChanged = [this] { windowChanged(); };
  // Until the window is on screen its frame is a guess.
  const QSize outer = withEstimatedFrame(size());
  notes_.initOuterSize(twips(outer.width()), twips(outer.height()));
}

NotesView::~NotesView() {
  notes_.onControlChanged = nullptr;
  notes_.onWindowChanged = nullptr;
}

void NotesView::windowChanged() {
  if (!notes_.visible()) {
    hide();
    return;
  }
  // At the right edge, vertically centred, by the real outer size.
  showPlacedByRealFrame(*this, [this](QSize outer) {
    notes_.initOuterSize(twips(outer.width()), twips(outer.height()));
    notes_.Colocar();
    return QPoint(px(notes_.Left), px(notes_.Top));
  });
  raise();
  activateWindow();
  reportOuterSize();
}

void NotesView::outerSizeChanged(QSize outer) { notes_.initOuterSize(twips(outer.width()), twips(outer.height())); }

void NotesView::unload() {
  runHandler(*form_, [this] { notes_.Form_Unload(); });
}

}  // namespace velmira::qt
