// The controls of the windows as plain state.  The Qt front end draws them
// and forwards the user's actions; tests drive them directly.
//
// Every change of what a control shows calls its window's observer, so a view
// can redraw the control.  Setting a check box value, a combo's selected
// index or the scroll bar value from code raises the same handler as the
// user's action; setting a text raises nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmira {

// Colour number as the window keeps it: blue * 65536 + green * 256 + red.
constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r + g * 256 + b * 65536; }
constexpr uint32_t kRed = rgb(255, 0, 0);      // 255
constexpr uint32_t kGreen = rgb(0, 255, 0);    // 65280

struct Geometry {
  int left = 0, top = 0, width = 0, height = 0;  // twips
  bool operator==(const Geometry&) const = default;
};

struct Font {
  std::string name = "MS Sans Serif";
  double size = 8.25;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

enum class Kind { TextBox, Label, CheckBox, ComboBox, ScrollBar, Button, Shape, Image, Line };

class Control;
using Observer = std::function<void(Control&)>;

class Control {
 public:
  Control(Kind kind, std::string name, Geometry geometry)
      : kind_(kind), name_(std::move(name)), geometry_(geometry) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }

  const Geometry& geometry() const { return geometry_; }
  void setGeometry(const Geometry& g) { if (g != geometry_) { geometry_ = g; changed(); } }
  bool visible() const { return visible_; }
  void setVisible(bool v) { if (v != visible_) { visible_ = v; changed(); } }
  bool enabled() const { return enabled_; }
  void setEnabled(bool e) { if (e != enabled_) { enabled_ = e; changed(); } }
  const Font& font() const { return font_; }
  void setFont(const Font& f) { if (f != font_) { font_ = f; changed(); } }
  const std::string& toolTip() const { return toolTip_; }
  void setToolTip(std::string t) { toolTip_ = std::move(t); }
  // Colour numbers; -1 means the toolkit's default.
  int64_t backColor() const { return backColor_; }
  void setBackColor(int64_t c) { backColor_ = c; changed(); }
  int64_t foreColor() const { return foreColor_; }
  void setForeColor(int64_t c) { foreColor_ = c; changed(); }
  // Whether the control can take the keyboard focus (it is in the tab order).
  bool tabStop() const { return tabStop_; }
  void setTabStop(bool t) { tabStop_ = t; }

  void setObserver(const Observer* observer) { observer_ = observer; }

 protected:
  void changed() { if (observer_ && *observer_) (*observer_)(*this); }

 private:
  Kind kind_;
  std::string name_;
  Geometry geometry_;
  bool visible_ = true;
  bool enabled_ = true;
  Font font_;
  std::string toolTip_;
  int64_t backColor_ = -1;
  int64_t foreColor_ = -1;
  bool tabStop_ = false;
  const Observer* observer_ = nullptr;
};

// Single- or multi-line text field.
class TextBox : public Control {
 public:
  TextBox(std::string name, Geometry g, std::string text, int maxLength)
      : Control(Kind::TextBox, std::move(name), g), text_(std::move(text)), maxLength_(maxLength) {
    setTabStop(true);
  }
  const std::string& text() const { return text_; }
  // Setting the text from code raises no event; the caret goes to the start.
  void setText(std::string t) {
    text_ = std::move(t);
    selStart_ = 0;
    selLength_ = 0;
    changed();
  }
  int maxLength() const { return maxLength_; }  // 0: no limit
  bool multiLine() const { return multiLine_; }
  void setMultiLine(bool m) { multiLine_ = m; }
  // Selection in characters.
  int selStart() const { return selStart_; }
  int selLength() const { return selLength_; }
  void setSelection(int start, int length) { selStart_ = start; selLength_ = length; changed(); }

  // The key-press handler: receives the character code, may replace it or
  // set it to 0 to swallow it.  The focus handler: runs on focus gained.
  std::function<void(int&)> onKeyPress;
  std::function<void()> onGotFocus;

 private:
  std::string text_;
  int maxLength_;
  bool multiLine_ = false;
  int selStart_ = 0;
  int selLength_ = 0;
};

class Label : public Control {
 public:
  Label(std::string name, Geometry g, std::string caption)
      : Control(Kind::Label, std::move(name), g), caption_(std::move(caption)) {}
  const std::string& caption() const { return caption_; }
  void setCaption(std::string c) { if (c != caption_) { caption_ = std::move(c); changed(); } }
  bool transparent() const { return transparent_; }
  void setTransparent(bool t) { transparent_ = t; }
  bool wordWrap() const { return wordWrap_; }
  void setWordWrap(bool w) { wordWrap_ = w; }

 private:
  std::string caption_;
  bool transparent_ = true;
  bool wordWrap_ = false;
};

class Button : public Control {
 public:
  Button(std::string name, Geometry g, std::string caption)
      : Control(Kind::Button, std::move(name), g), caption_(std::move(caption)) {
    setTabStop(true);
  }
  // The caption as written, "&" marking the access key.
  const std::string& caption() const { return caption_; }
  void setCaption(std::string c) { if (c != caption_) { caption_ = std::move(c); changed(); } }
  // A click by the user (or a test): runs the click handler.
  void click() { if (onClick) onClick(); }
  std::function<void()> onClick;

 private:
  std::string caption_;
};

class CheckBox : public Control {
 public:
  CheckBox(std::string name, Geometry g, int value)
      : Control(Kind::CheckBox, std::move(name), g), value_(value) {
    setTabStop(true);
  }
  int value() const { return value_; }
  // Code and user alike: a change of value raises the click handler.
  void setValue(int v) {
    if (v == value_) return;
    value_ = v;
    changed();
    if (onClick) onClick();
  }
  // A user's click toggles the box.
  void click() { setValue(value_ == 1 ? 0 : 1); }
  std::function<void()> onClick;

 private:
  int value_;
};

class ComboBox : public Control {
 public:
  struct Item {
    std::string text;
    int32_t data = 0;
  };
  ComboBox(std::string name, Geometry g, std::string text)
      : Control(Kind::ComboBox, std::move(name), g), text_(std::move(text)) {
    setTabStop(true);
  }
  const std::string& text() const { return text_; }
  // Typing into the text line (or code) deselects the list.
  void setText(std::string t) { text_ = std::move(t); listIndex_ = -1; changed(); }
  int listCount() const { return static_cast<int>(items_.size()); }
  const std::vector<Item>& items() const { return items_; }
  void addItem(std::string text) { items_.push_back({std::move(text), 0}); newIndex_ = listCount() - 1; changed(); }
  int newIndex() const { return newIndex_; }
  int32_t itemData(int index) const { return items_.at(static_cast<size_t>(index)).data; }
  void setItemData(int index, int32_t data) { items_.at(static_cast<size_t>(index)).data = data; }
  // Clears the list and the text line.
  void clear() { items_.clear(); text_.clear(); listIndex_ = -1; newIndex_ = -1; ++clears_; changed(); }
  // How often the list was cleared: between two clears items are only
  // appended, so a view can add the new ones instead of rebuilding the list.
  int clears() const { return clears_; }
  int listIndex() const { return listIndex_; }
  // Code and user alike: selecting an item raises the click handler; the
  // text line shows the item's text.  -1 deselects (and raises nothing).
  void setListIndex(int index) {
    if (index < -1 || index >= listCount()) return;
    if (index == listIndex_) return;
    listIndex_ = index;
    if (index >= 0) text_ = items_[static_cast<size_t>(index)].text;
    changed();
    if (index >= 0 && onClick) onClick();
  }
  std::function<void()> onClick;

 private:
  std::string text_;
  std::vector<Item> items_;
  int listIndex_ = -1;
  int newIndex_ = -1;
  int clears_ = 0;
};

class ScrollBar : public Control {
 public:
  ScrollBar(std::string name, Geometry g, int min, int max, int value)
      : Control(Kind::ScrollBar, std::move(name), g), min_(min), max_(max), value_(value) {
    setTabStop(true);
  }
  int min() const { return min_; }
  int max() const { return max_; }
  int value() const { return value_; }
  // A value outside the range is refused.  A change raises the change handler.
  bool setValue(int v) {
    if (v < min_ || v > max_) return false;
    if (v == value_) return true;
    value_ = v;
    changed();
    if (onChange) onChange();
    return true;
  }
  std::function<void()> onChange;

 private:
  int min_, max_, value_;
};

// The filled circle of the motor indicator.
class Shape : public Control {
 public:
  Shape(std::string name, Geometry g, uint32_t fill) : Control(Kind::Shape, std::move(name), g), fill_(fill) {}
  uint32_t fillColor() const { return fill_; }
  void setFillColor(uint32_t c) { if (c != fill_) { fill_ = c; changed(); } }

 private:
  uint32_t fill_;
};

// The background picture.
class Image : public Control {
 public:
  Image(std::string name, Geometry g) : Control(Kind::Image, std::move(name), g) {}
  bool stretch() const { return stretch_; }
  void setStretch(bool s) { stretch_ = s; changed(); }
  // Path of the loaded picture; empty: no picture.
  const std::string& picture() const { return picture_; }
  void setPicture(std::string path) { picture_ = std::move(path); changed(); }

 private:
  bool stretch_ = false;
  std::string picture_;
};

// One straight framing line, from (x1, y1) to (x2, y2), in twips.
class Line : public Control {
 public:
  Line(std::string name, int x1, int y1, int x2, int y2, int widthPx)
      : Control(Kind::Line, std::move(name), {}), x1(x1), y1(y1), x2(x2), y2(y2), widthPx(widthPx) {}
  const int x1, y1, x2, y2;
  const int widthPx;
};

}  // namespace velmira
