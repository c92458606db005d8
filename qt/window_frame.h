// The outer size of a window before the window manager has framed it.
#pragma once

#include <QSize>

namespace velmira::qt {

// A frame of four pixels on each side and a title bar of 24, about what the
// usual desktops draw; the real frame replaces it once the window is shown.
inline QSize withEstimatedFrame(QSize client) { return client + QSize(8, 32); }

}  // namespace velmira::qt
