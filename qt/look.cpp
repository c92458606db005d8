#include "qt/look.h"

#include <QFontDatabase>
#include <QHash>
#include <QStringList>

namespace velmira::qt {

QColor colourOf(int64_t number) {
  const auto n = static_cast<uint32_t>(number);
  return QColor(static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF), static_cast<int>((n >> 16) & 0xFF));
}

namespace {

QString resolveFamily(const QString& wanted) {
  const QStringList installed = QFontDatabase::families();
  if (installed.contains(wanted, Qt::CaseInsensitive)) return wanted;
  // Narrow sans-serif families first: MS Sans Serif is narrower than most.
  static const char* const fallbacks[] = {"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial",
                                          "Nimbus Sans", "DejaVu Sans Condensed", "DejaVu Sans"};
  for (const char* f : fallbacks)
    if (installed.contains(QString::fromLatin1(f), Qt::CaseInsensitive)) return QString::fromLatin1(f);
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

}  // namespace

QString familyFor(const std::string& family) {
  static QHash<QString, QString> resolved;  // the font list is read once per family
  const QString wanted = qs(family);
  auto it = resolved.find(wanted);
  if (it == resolved.end()) it = resolved.insert(wanted, resolveFamily(wanted));
  return *it;
}

QFont fontOf(const Font& font) {
  QFont f(familyFor(font.name));
  f.setStyleHint(QFont::SansSerif);
  f.setPointSizeF(font.size);
  f.setBold(font.bold);
  return f;
}

}  // namespace velmira::qt
