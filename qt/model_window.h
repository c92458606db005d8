// What the two windows share: the close box, taken at the next event pass
// and never during a wait, and the outer size (frame and title bar
// included) reported to the model whenever the window system changes it.
#pragma once

#include <QSize>
#include <QWidget>

#include "platform/platform.h"

namespace velmira::qt {

class ModelWindow : public QWidget {
 public:
  // `clock`: the window's waits, during which the close box is held.
  explicit ModelWindow(platform::Clock& clock) : QWidget(nullptr), clock_(clock) {}

 protected:
  // The close box: the window's unload handler.
  virtual void unload() = 0;
  // The outer size, once the window is shown and whenever it changes.
  virtual void outerSizeChanged(QSize outer) = 0;
  void reportOuterSize();

  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  platform::Clock& clock_;
};

}  // namespace velmira::qt
