#include "qt/control_widgets.h"

#include <QLineEdit>
#include <QPainter>
#include <QShortcutEvent>
#include <QStyleOptionButton>

#include "app/form_principal.h"
#include "qt/handler_call.h"
#include "qt/look.h"

namespace velmira::qt {

void applyCommon(QWidget* w, const Control& c) {
  if (c.kind() != Kind::Line) w->setGeometry(pxRect(c.geometry()));
  w->setVisible(c.visible());
  w->setEnabled(c.enabled());
  const QFont f = fontOf(c.font());
  if (w->font() != f) w->setFont(f);
  if (w->toolTip() != qs(c.toolTip())) w->setToolTip(qs(c.toolTip()));
}

// ---- CaptionButton -----------------------------------------------------------

CaptionButton::CaptionButton(Button& model, Form_Principal* form, QWidget* parent)
    : QPushButton(parent), model_(model) {
  // Enter on a focused button clicks it, as Space does.
  setAutoDefault(true);
  connect(this, &QPushButton::clicked, this, [this, form] { runHandler(*form, [this] { model_.click(); }); });
  refresh();
}

void CaptionButton::refresh() {
  applyCommon(this, model_);
  if (text() != qs(model_.caption())) setText(qs(model_.caption()));
  QPalette p = palette();
  p.setColor(QPalette::Button, model_.backColor() >= 0 ? colourOf(model_.backColor())
                                                        : QPalette().color(QPalette::Button));
  if (model_.foreColor() >= 0) p.setColor(QPalette::ButtonText, colourOf(model_.foreColor()));
  setPalette(p);
}

bool CaptionButton::event(QEvent* e) {
  // The access key (Alt and the underlined letter) moves the focus to the
  // button and clicks it at once, as the Enter key does.
  if (e->type() == QEvent::Shortcut && isEnabled() && isVisible()) {
    auto* shortcut = static_cast<QShortcutEvent*>(e);
    if (!shortcut->isAmbiguous() && shortcut->key() == this->shortcut()) {
      setFocus(Qt::ShortcutFocusReason);
      click();
      return true;
    }
  }
  return QPushButton::event(e);
}

void CaptionButton::paintEvent(QPaintEvent*) {
  // The face is flat in the button's colour inside a raised (or, while
  // pressed, sunken) edge, so the colour shows as the window gives it.
  QPainter p(this);
  const QRect r = rect();
  p.fillRect(r, palette().color(QPalette::Button));
  const bool down = isDown() || isChecked();
  const QColor light = down ? QColor(64, 64, 64) : QColor(255, 255, 255);
  const QColor dark = down ? QColor(255, 255, 255) : QColor(64, 64, 64);
  p.setPen(light);
  p.drawLine(r.topLeft(), r.topRight() - QPoint(1, 0));
  p.drawLine(r.topLeft(), r.bottomLeft() - QPoint(0, 1));
  p.setPen(dark);
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());

  QRect area = r.adjusted(3, 1, -3, -1);
  if (down) area.translate(1, 1);
  int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  // A caption that does not fit on one line is broken at blanks, as long as
  // the lines fit in the button.
  const QFontMetrics metrics(font());
  if (metrics.horizontalAdvance(QString(text()).remove(QLatin1Char('&'))) > area.width() &&
      metrics.boundingRect(area, flags | Qt::TextWordWrap, text()).height() <= area.height())
    flags |= Qt::TextWordWrap;
  QStyleOptionButton option;
  initStyleOption(&option);
  if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)) flags |= Qt::TextHideMnemonic;
  style()->drawItemText(&p, area, flags, palette(), isEnabled(), text(), QPalette::ButtonText);

  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = r.adjusted(3, 3, -3, -3);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
}

// ---- ModelCheckBox -------------------------------------------------------------

ModelCheckBox::ModelCheckBox(CheckBox& model, Form_Principal* form, QWidget* parent)
    : QCheckBox(parent), model_(model), form_(form) {
  refresh();
}

void ModelCheckBox::refresh() {
  applyCommon(this, model_);
  setChecked(model_.value() == 1);
}

void ModelCheckBox::nextCheckState() {
  runHandler(*form_, [this] { model_.click(); });
  setChecked(model_.value() == 1);
}

void ModelCheckBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  const int side = std::min(width(), height());
  option.rect = QRect(0, (height() - side) / 2, side, side);
  style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &p, this);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
  }
}

// ---- ModelCombo --------------------------------------------------------------

ModelCombo::ModelCombo(ComboBox& model, Form_Principal* form, QWidget* parent)
    : QComboBox(parent), model_(model) {
  setEditable(true);
  // Typed text is never added to the list, and Enter never picks the item
  // that equals the typed text: only choosing from the list selects.
  setInsertPolicy(QComboBox::NoInsert);
  setDuplicatesEnabled(true);
  setCompleter(nullptr);  // no completion while typing either
  // Nor when the text line loses the focus or takes Enter holding the text
  // of an item: that is typing, not choosing.
  QObject::disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
  connect(this, &QComboBox::activated, this, [this, form](int index) {
    if (refreshing_) return;
    runHandler(*form, [this, index] { model_.setListIndex(index); });
    refresh();
  });
  connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) { pullText(text); });
  refresh();
}

void ModelCombo::pullText(const QString& text) {
  if (refreshing_) return;
  {
    Guard g(refreshing_);
    model_.setText(text.toStdString());
  }
  refresh();
}

void ModelCombo::refresh() {
  Guard g(refreshing_);
  applyCommon(this, model_);
  // Items are only appended between two clears of the list: add the new
  // ones (a scan that finds thousands of ports stays linear).
  if (model_.clears() != clears_ || count() > model_.listCount()) {
    clear();
    clears_ = model_.clears();
  }
  for (int i = count(); i < model_.listCount(); ++i) addItem(qs(model_.items()[static_cast<size_t>(i)].text));
  const QString text = qs(model_.text());
  if (currentIndex() != model_.listIndex()) {
    const int cursor = lineEdit()->cursorPosition();
    setCurrentIndex(model_.listIndex());  // -1 empties the text line
    if (lineEdit()->text() != text) {
      setEditText(text);
      lineEdit()->setCursorPosition(cursor);
    }
  }
  if (lineEdit()->text() != text) setEditText(text);
}

// ---- ModelScrollBar ------------------------------------------------------------

ModelScrollBar::ModelScrollBar(ScrollBar& model, Form_Principal* form, QWidget* parent)
    : QScrollBar(Qt::Horizontal, parent), model_(model) {
  // The value changes when the thumb is let go, not while it is dragged.
  setTracking(false);
  setSingleStep(1);
  setPageStep(10);
  connect(this, &QScrollBar::valueChanged, this, [this, form](int value) {
    if (refreshing_) return;
    runHandler(*form, [this, value] { model_.setValue(value); });
    refresh();
  });
  refresh();
}

void ModelScrollBar::refresh() {
  Guard g(refreshing_);
  applyCommon(this, model_);
  setRange(model_.min(), model_.max());
  setValue(model_.value());
}

// ---- ModelLabel ----------------------------------------------------------------

ModelLabel::ModelLabel(Label& model, QWidget* parent) : QLabel(parent), model_(model) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setWordWrap(true);
  refresh();
}

void ModelLabel::refresh() {
  applyCommon(this, model_);
  QString caption = qs(model_.caption());
  caption.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (text() != caption) setText(caption);
  setAutoFillBackground(!model_.transparent());
  QPalette p = palette();
  p.setColor(QPalette::WindowText, model_.foreColor() >= 0 ? colourOf(model_.foreColor()) : QColor(Qt::black));
  if (model_.backColor() >= 0) p.setColor(QPalette::Window, colourOf(model_.backColor()));
  setPalette(p);
}

// ---- LedShape ------------------------------------------------------------------

LedShape::LedShape(Shape& model, QWidget* parent) : QWidget(parent), model_(model) { refresh(); }

void LedShape::refresh() {
  applyCommon(this, model_);
  update();
}

QColor LedShape::fill() const { return colourOf(model_.fillColor()); }

void LedShape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const int d = std::min(width(), height()) - 1;
  const QRectF circle((width() - d) / 2.0, (height() - d) / 2.0, d, d);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(fill());
  p.drawEllipse(circle);
}

// ---- FrameLine -----------------------------------------------------------------

FrameLine::FrameLine(Line& model, QWidget* parent) : QWidget(parent), model_(model) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  refresh();
}

QRect FrameLine::rectOf(const Line& l) {
  const int x1 = px(std::min(l.x1, l.x2)), x2 = px(std::max(l.x1, l.x2));
  const int y1 = px(std::min(l.y1, l.y2)), y2 = px(std::max(l.y1, l.y2));
  // The line's width grows right of a vertical line and below a horizontal
  // one, so that the corners of a frame close.
  if (y1 == y2) return QRect(x1, y1, x2 - x1 + l.widthPx, l.widthPx);
  return QRect(x1, y1, l.widthPx, y2 - y1 + l.widthPx);
}

void FrameLine::refresh() {
  setGeometry(rectOf(model_));
  setVisible(model_.visible());
}

void FrameLine::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), model_.foreColor() >= 0 ? colourOf(model_.foreColor()) : QColor(Qt::black));
}

// ---- Picture -------------------------------------------------------------------

Picture::Picture(Image& model, QWidget* parent) : QWidget(parent), model_(model) { refresh(); }

void Picture::refresh() {
  applyCommon(this, model_);
  if (model_.picture() != loaded_) {
    loaded_ = model_.picture();
    image_ = loaded_.empty() ? QImage() : QImage(qs(loaded_));
  }
  // The picture, its stretching or the control's size may have changed.
  shown_ = QPixmap();
  update();
}

void Picture::paintEvent(QPaintEvent*) {
  if (image_.isNull()) return;
  const QSize size = model_.stretch() ? this->size() : image_.size();
  if (shown_.size() != size) {
    // Stretched: scaled to the control without keeping the proportions.
    shown_ = QPixmap::fromImage(
        model_.stretch() ? image_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : image_);
  }
  QPainter p(this);
  p.drawPixmap(QPoint(0, 0), shown_);
}

}  // namespace velmira::qt
