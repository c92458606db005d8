#include "qt/window_frame.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>

namespace velmira::qt {
namespace {

void processFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
}

}  // namespace

void showPlacedByRealFrame(QWidget& window, const std::function<QPoint(QSize outer)>& place) {
  window.move(place(window.isVisible() ? window.frameGeometry().size() : withEstimatedFrame(window.size())));
  window.show();
  // The window manager frames the window when it maps it, and tells its
  // frame a moment later.  Wait until the window is exposed and then, for a
  // short while, until a frame shows; without a window manager none ever
  // does.  A window manager that never maps it (the window minimised)
  // leaves the guess in place after a second.
  QElapsedTimer waited;
  waited.start();
  while (window.windowHandle() && !window.windowHandle()->isExposed() && waited.elapsed() < 1000)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
  for (int i = 0; i < 25 && window.frameGeometry().size() == window.size(); ++i) processFor(10);
  processFor(10);
  const QPoint at = place(window.frameGeometry().size());
  if (window.frameGeometry().topLeft() != at) window.move(at);
}

}  // namespace velmira::qt
