#include "qt/field_edit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QValidator>

#include "base/cp1252.h"
#include "app/form_principal.h"
#include "qt/handler_call.h"
#include "qt/look.h"

namespace velmira::qt {

int keyCodeOf(const QKeyEvent& e) {
  const int key = e.key();
  const Qt::KeyboardModifiers mods = e.modifiers();
  if (key == Qt::Key_Backspace) return 8;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) return 13;
  if (key == Qt::Key_Escape) return 27;
  const bool control = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
  if (control) return (key >= Qt::Key_A && key <= Qt::Key_Z) ? key - Qt::Key_A + 1 : -1;
  const QString text = e.text();
  if (text.isEmpty() || !text.at(0).isPrint()) return -1;
  const std::string ch = text.left(text.at(0).isHighSurrogate() ? 2 : 1).toStdString();
  const std::string code = utf8ToCp1252(ch);
  return code.size() == 1 ? static_cast<unsigned char>(code[0]) : '?';
}

// The maximum length binds what the user types or pastes, not the texts the
// program sets: a field may show a longer text, and the user can still
// shorten it.
class LengthLimit : public QValidator {
 public:
  LengthLimit(const TextBox& model, QLineEdit* edit) : QValidator(edit), model_(model) {
    QObject::connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { last_ = t.size(); });
    last_ = edit->text().size();
  }
  // The text the program is about to set.
  void programSets(const QString& text) { program_ = text; }
  State validate(QString& input, int&) const override {
    const qsizetype limit = model_.maxLength();
    if (limit <= 0 || input.size() <= limit || input.size() < last_ || input == program_) return Acceptable;
    return Invalid;
  }

 private:
  const TextBox& model_;
  qsizetype last_ = 0;
  QString program_;
};

FieldEdit::FieldEdit(TextBox& model, Form_Principal& form, QWidget* parent)
    : QLineEdit(parent), model_(model), form_(form) {
  setAcceptDrops(false);
  limit_ = new LengthLimit(model_, this);
  setValidator(limit_);
  // Whatever changes the text or the selection (typing, a paste from the
  // context menu, the mouse) is copied to the model at once.
  connect(this, &QLineEdit::textEdited, this, [this] { pull(); });
  connect(this, &QLineEdit::cursorPositionChanged, this, [this] { pull(); });
  connect(this, &QLineEdit::selectionChanged, this, [this] { pull(); });
  refresh();
}

void FieldEdit::pull() {
  if (refreshing_) return;
  Guard g(refreshing_);
  const std::string t = text().toStdString();
  if (t != model_.text()) model_.setText(t);
  const int start = hasSelectedText() ? selectionStart() : cursorPosition();
  const int length = hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
  if (start != model_.selStart() || length != model_.selLength()) model_.setSelection(start, length);
}

void FieldEdit::refresh() {
  if (refreshing_) return;
  Guard g(refreshing_);
  applyCommon(this, model_);
  if (text() != qs(model_.text())) {
    limit_->programSets(qs(model_.text()));
    setText(qs(model_.text()));
    limit_->programSets({});
  }
  if (model_.selLength() > 0)
    setSelection(model_.selStart(), model_.selLength());
  else if (hasSelectedText() || cursorPosition() != model_.selStart())
    setCursorPosition(model_.selStart());
}

int FieldEdit::screen(int code) {
  pull();
  int result = 0;
  runHandler(form_, [&] { result = form_.keyPress(model_, code); });
  return form_.programEnded() ? 0 : result;
}

void FieldEdit::keyPressEvent(QKeyEvent* event) {
  const int code = keyCodeOf(*event);
  if (code < 0) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  take(event, code, screen(code));
}

void FieldEdit::take(QKeyEvent* event, int original, int code) {
  event->accept();
  if (code == 0) return;  // swallowed
  if (code == original) {
    // The key as typed: Enter and Escape add nothing but keep their usual
    // meaning, backspace deletes, Ctrl+C/V/X copy, paste and cut.
    QLineEdit::keyPressEvent(event);
    return;
  }
  // The handler replaced the key.
  if (code == 8) {
    backspace();
  } else if (code >= 32) {
    const std::string ch = code < 128 ? std::string(1, static_cast<char>(code))
                                      : cp1252ToUtf8(std::string(1, static_cast<char>(code)));
    insert(qs(ch));
  }
}

void FieldEdit::inputMethodEvent(QInputMethodEvent* event) {
  // Composed characters (dead keys, input methods) are screened one by one.
  const QString commit = event->commitString();
  if (commit.isEmpty()) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  QString taken;
  for (QChar c : commit) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    const int code = keyCodeOf(key);
    if (code < 32) continue;
    const int result = screen(code);
    if (result == code) taken += c;
  }
  QInputMethodEvent filtered(event->preeditString(), event->attributes());
  filtered.setCommitString(taken, event->replacementStart(), event->replacementLength());
  QLineEdit::inputMethodEvent(&filtered);
}

// ---- MessagesEdit --------------------------------------------------------------

MessagesEdit::MessagesEdit(TextBox& model, QWidget* parent) : QPlainTextEdit(parent), model_(model) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (refreshing_) return;
    Guard g(refreshing_);
    QString t = toPlainText();
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    model_.setText(t.toStdString());
  });
  refresh();
}

void MessagesEdit::refresh() {
  if (refreshing_) return;
  Guard g(refreshing_);
  applyCommon(this, model_);
  QString t = qs(model_.text());
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (toPlainText() != t) setPlainText(t);
}

}  // namespace velmira::qt
