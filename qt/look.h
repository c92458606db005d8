// How the window model's looks become Qt's: twips to pixels, colour
// numbers to colours, the model's fonts to fonts that exist on this desktop.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <string>

#include "base/controls.h"

namespace velmira::qt {

constexpr int kTwipsPerPixel = 15;  // 96 dots per inch

inline int px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
inline int twips(int pixels) { return pixels * kTwipsPerPixel; }
inline QRect pxRect(const Geometry& g) { return QRect(px(g.left), px(g.top), px(g.width), px(g.height)); }

// A colour number (blue * 65536 + green * 256 + red).
QColor colourOf(int64_t number);

// The family drawn for a family the model names.  "MS Sans Serif" is a
// Windows font; where it is missing a sans-serif family of similar width is
// used, so the captions fit the places the window gives them.
QString familyFor(const std::string& family);
QFont fontOf(const Font& font);

inline QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace velmira::qt
