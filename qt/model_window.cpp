#include "qt/model_window.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include "qt/qt_platform.h"

namespace velmira::qt {

void ModelWindow::reportOuterSize() {
  if (isVisible()) outerSizeChanged(frameGeometry().size());
}

bool ModelWindow::event(QEvent* e) {
  if (e->type() == closeAtNextPassEvent()) {
    close();
    return true;
  }
  const bool handled = QWidget::event(e);
  switch (e->type()) {
    case QEvent::Show: case QEvent::Resize: case QEvent::Move: case QEvent::WindowStateChange:
      reportOuterSize();
      break;
    default:
      break;
  }
  return handled;
}

void ModelWindow::closeEvent(QCloseEvent* e) {
  e->ignore();
  // The close box is taken at the next event pass, not during a wait.
  if (clock_.waiting()) {
    QCoreApplication::postEvent(this, new QEvent(closeAtNextPassEvent()));
    return;
  }
  unload();
}

}  // namespace velmira::qt
