// The text fields.  A typed key becomes the character code the window's
// key-press handler screens (Windows-1252 codes, 8 for backspace, 13 for
// Enter, 1 to 26 for Ctrl and a letter); the field then takes the character
// the handler let through, or nothing.  Text and selection are copied to
// the model before every key, so the handler sees what the user sees.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>

#include "qt/control_widgets.h"

namespace velmira::qt {

// The character code of a key event, or -1 for a key that types nothing
// (arrows, Delete, function keys ...), which the field handles itself.
int keyCodeOf(const class QKeyEvent& event);

class FieldEdit : public QLineEdit, public Synced {
 public:
  FieldEdit(TextBox& model, Form_Principal& form, QWidget* parent);
  void refresh() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  void pull();
  // Runs the key-press handler; returns the code the field takes.
  int screen(int code);
  void take(QKeyEvent* event, int original, int code);
  TextBox& model_;
  Form_Principal& form_;
  class LengthLimit* limit_ = nullptr;
  bool refreshing_ = false;
};

// The message field: several lines, a vertical scroll bar, the user may
// edit it.  The model keeps its line breaks as CR LF.
class MessagesEdit : public QPlainTextEdit, public Synced {
 public:
  MessagesEdit(TextBox& model, QWidget* parent);
  void refresh() override;

 private:
  TextBox& model_;
  bool refreshing_ = false;
};

}  // namespace velmira::qt
