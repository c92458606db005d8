// What the two windows share: the close box, taken at the next event pass
// and never during a wait, and the outer size (frame and title bar
// included) reported to the model whenever the window system changes it.
#pragma once

#include <QSize>
#include <QWidget>

namespace velmira::qt {

class ModelWindow : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  // The close box: the window's unload handler.
  virtual void unload() = 0;
  // The outer size, once the window is shown and whenever it changes.
  virtual void outerSizeChanged(QSize outer) = 0;
  void reportOuterSize();

  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace velmira::qt
