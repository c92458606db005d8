// One widget per control of the window model.  Each draws its control and
// forwards what the user does to it; the model decides, and every change of
// the model comes back through refresh().
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QPixmap>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QWidget>

#include "base/controls.h"

namespace velmira {
class Form_Principal;
}

namespace velmira::qt {

// A widget that shows a control of the model.
class Synced {
 public:
  virtual ~Synced() = default;
  virtual void refresh() = 0;
};

// Place, visibility, enabled state, font and tool tip of `c` on `w`.
void applyCommon(QWidget* w, const Control& c);

// Sets a flag for the lifetime of the guard (refreshes and pulls must not
// feed back into each other).
class Guard {
 public:
  explicit Guard(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~Guard() { flag_ = old_; }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  bool& flag_;
  bool old_;
};

// A button with a coloured face whose caption wraps at word boundaries when
// it does not fit on one line and the lines fit the button's height.
class CaptionButton : public QPushButton, public Synced {
 public:
  CaptionButton(Button& model, Form_Principal* form, QWidget* parent);
  void refresh() override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  Button& model_;
};

// The check state is the model's: a click asks the model to toggle, and the
// widget shows what the model then holds.
class ModelCheckBox : public QCheckBox, public Synced {
 public:
  ModelCheckBox(CheckBox& model, Form_Principal* form, QWidget* parent);
  void refresh() override;

 protected:
  void nextCheckState() override;
  // The box fills the control (13 pixels), whatever the style's own size.
  void paintEvent(QPaintEvent* event) override;

 private:
  CheckBox& model_;
  Form_Principal* form_;
};

// An editable drop-down list.  Choosing an item selects it in the model
// (raising its click handler); typing into the text line sets the model's
// text, which deselects the list.
class ModelCombo : public QComboBox, public Synced {
 public:
  ModelCombo(ComboBox& model, Form_Principal* form, QWidget* parent);
  void refresh() override;

 private:
  void pullText(const QString& text);
  ComboBox& model_;
  bool refreshing_ = false;
  int clears_ = 0;  // the model's clears() the list is built for
};

class ModelScrollBar : public QScrollBar, public Synced {
 public:
  ModelScrollBar(ScrollBar& model, Form_Principal* form, QWidget* parent);
  void refresh() override;

 private:
  ScrollBar& model_;
  bool refreshing_ = false;
};

// A caption: transparent unless the model makes it opaque, text at the top
// left, long lines wrapped at word boundaries and cut off at the bottom.
class ModelLabel : public QLabel, public Synced {
 public:
  ModelLabel(Label& model, QWidget* parent);
  void refresh() override;

 private:
  Label& model_;
};

// The motor indicator: a circle filled with the model's colour.
class LedShape : public QWidget, public Synced {
 public:
  LedShape(Shape& model, QWidget* parent);
  void refresh() override;
  QColor fill() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Shape& model_;
};

// One framing line.
class FrameLine : public QWidget, public Synced {
 public:
  FrameLine(Line& model, QWidget* parent);
  void refresh() override;
  static QRect rectOf(const Line& line);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Line& model_;
};

// The background picture, stretched to the control when the model says so.
class Picture : public QWidget, public Synced {
 public:
  Picture(Image& model, QWidget* parent);
  void refresh() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Image& model_;
  std::string loaded_;
  QImage image_;
  // The picture as drawn: scaled once to the control's size, not again for
  // every region the window repaints.
  QPixmap shown_;
};

}  // namespace velmira::qt
