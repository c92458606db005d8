// The outer size of a window before the window manager has framed it, and
// the placement by the real frame once it has.
#pragma once

#include <QSize>
#include <QWidget>
#include <functional>

namespace velmira::qt {

// A frame of four pixels on each side and a title bar of 24, about what the
// usual desktops draw; the real frame replaces it once the window is shown.
inline QSize withEstimatedFrame(QSize client) { return client + QSize(8, 32); }

// Shows `window` and waits (briefly, the window repainting) until the window
// system has mapped and framed it; then `place` gets its real outer size and
// says where the outer frame's top-left corner goes, in pixels, and the
// window is moved there before the user can act on it.
void showPlacedByRealFrame(QWidget& window, const std::function<QPoint(QSize outer)>& place);

}  // namespace velmira::qt
