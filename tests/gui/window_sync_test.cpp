// The window and its model in step both ways: what the user does to a
// widget reaches the window's handlers, and what the handlers change shows.
// What the handlers do with it (filters, focus order, pairs, groups, bytes)
// is in the scenarios; here the real widgets, keys and events carry it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <map>

#include "qt/field_edit.h"
#include "qt/spanish_texts.h"
#include "tests/support/real_window_rig.h"

namespace velmira {
namespace {

using test::WindowRig;

// The user tabs into a field: the field gains the focus and selects its text.
QLineEdit* enter(WindowRig& r, const std::string& name) {
  auto* field = r.w<QLineEdit>(name);
  if (field->hasFocus()) r.w("Text_Mensajes")->setFocus(Qt::TabFocusReason);
  field->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(field->hasFocus()) << name;
  return field;
}

// Keys as the user types them: "{Home}", "{End}", "{BS}" and "{Ctrl+V}"
// name keys, any other character is its own key.
void typeKeys(QWidget* w, const std::string& keys) {
  static const std::map<std::string, std::pair<Qt::Key, Qt::KeyboardModifiers>> named = {
      {"Home", {Qt::Key_Home, {}}}, {"End", {Qt::Key_End, {}}}, {"BS", {Qt::Key_Backspace, {}}},
      {"Ctrl+V", {Qt::Key_V, Qt::ControlModifier}}};
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] != '{') {
      QTest::keyClicks(w, QString(QLatin1Char(keys[i])));
      continue;
    }
    const size_t end = keys.find('}', i);
    const auto& [key, modifiers] = named.at(keys.substr(i + 1, end - i - 1));
    QTest::keyClick(w, key, modifiers);
    i = end;
  }
}

TEST(FieldTyping, KeysGoThroughTheFieldsFiltersCaretAndLengths) {
  WindowRig r;
  r.start();
  QApplication::clipboard()->setText("1.5");
  struct Case { const char* field; const char* before; const char* keys; const char* shown; };
  const Case cases[] = {
      {"Text3", nullptr, "1.5", "15"}, {"Text6", nullptr, "0,0125", "0,0125"}, {"Text4", nullptr, "1234", "123"},
      {"Text2", nullptr, "-5-", "-5"}, {"Text10", nullptr, "2,55", "2,"},
      // The minus rule sees the caret, and the whole text selected on entry.
      {"Text2", "5", "{Home}-", "-5"}, {"Text2", "5", "{End}-", "5"}, {"Text2", "-5", "-", "-5"},
      {"Text2", "-5", "-7", "7"},
      // The length limit binds the user, not the program; Backspace deletes.
      {"Text2", "-1234567", "{End}8{BS}{BS}89", "-123458"},
      // Ctrl+V is the code 22, which the filter swallows.
      {"Text3", "0", "{Ctrl+V}", "0"}};
  for (const Case& c : cases) {
    auto* model = static_cast<TextBox*>(r.form().control(c.field));
    if (c.before) model->setText(c.before);
    QLineEdit* field = enter(r, c.field);
    typeKeys(field, c.keys);
    EXPECT_EQ(field->text().toStdString(), c.shown) << c.field << " typed " << c.keys;
    EXPECT_EQ(model->text(), c.shown) << c.field;
    EXPECT_EQ(model->selStart() + model->selLength(), field->cursorPosition()) << "the caret follows the typing";
  }
}

TEST(FieldTyping, KeyCodesAreTheWindowsOnes) {
  struct Case { Qt::Key key; Qt::KeyboardModifiers mods; const char* text; int code; };
  const Case cases[] = {
      {Qt::Key_1, Qt::NoModifier, "1", '1'},          {Qt::Key_Comma, Qt::NoModifier, ",", ','},
      {Qt::Key_Period, Qt::KeypadModifier, ".", '.'}, {Qt::Key_Ntilde, Qt::NoModifier, "ñ", 241},
      {Qt::Key_unknown, Qt::NoModifier, "€", 128},    {Qt::Key_unknown, Qt::NoModifier, "中", '?'},
      {Qt::Key_C, Qt::ControlModifier, "c", 3},       {Qt::Key_V, Qt::ControlModifier, "v", 22},
      {Qt::Key_X, Qt::ControlModifier, "x", 24},      {Qt::Key_Backspace, Qt::NoModifier, "\b", 8},
      {Qt::Key_Return, Qt::NoModifier, "\r", 13},     {Qt::Key_Enter, Qt::KeypadModifier, "\r", 13},
      {Qt::Key_Escape, Qt::NoModifier, "\x1b", 27},   {Qt::Key_Left, Qt::NoModifier, "", -1},
      {Qt::Key_Delete, Qt::NoModifier, "\x7f", -1},   {Qt::Key_F8, Qt::NoModifier, "", -1},
      {Qt::Key_Left, Qt::ControlModifier, "", -1}};
  for (const Case& c : cases) {
    QKeyEvent e(QEvent::KeyPress, c.key, c.mods, QString::fromUtf8(c.text));
    EXPECT_EQ(qt::keyCodeOf(e), c.code) << c.text << " key " << c.key;
  }
}

// Where Enter moves the focus is in fields.scn; here the key, the focus
// and the selection go both ways between the widgets and the model.
TEST(FieldTyping, FocusMovesBothWaysAndEnterMovesItOn) {
  WindowRig r;
  r.start();
  QLineEdit* frames = r.w<QLineEdit>("Text4");
  frames->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(r.form().focused(), &r.form().Text4) << "the field's focus handler ran";
  EXPECT_EQ(r.form().Text4.selLength(), 2);
  EXPECT_EQ(frames->selectedText(), "25");
  r.form().SetFocus(r.form().Text9);
  EXPECT_EQ(QApplication::focusWidget(), r.w("Text9")) << "the logic's focus moves the widgets'";
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(QApplication::focusWidget(), r.w("Text2"));
  EXPECT_EQ(r.w<QLineEdit>("Text2")->selectedText(), "0") << "the field it lands on selects its text";
}

TEST(FieldTyping, TheContextMenuIsInSpanishAndPastesUnscreened) {
  ASSERT_TRUE(qt::installSpanishQtTexts()) << "qt6-translations-l10n is installed by ./dev";
  WindowRig r;
  r.start();
  QApplication::clipboard()->setText("1.5");
  QLineEdit* steps = enter(r, "Text3");
  std::unique_ptr<QMenu> menu(steps->createStandardContextMenu());
  QStringList texts;
  QAction* paste = nullptr;
  for (QAction* a : menu->actions()) {
    texts << a->text().section(QLatin1Char('\t'), 0, 0);  // less the shortcut
    if (texts.back() == QStringLiteral("&Pegar")) paste = a;
  }
  EXPECT_TRUE(texts.contains(QStringLiteral("&Deshacer"))) << texts.join(QLatin1Char('|')).toStdString();
  ASSERT_NE(paste, nullptr) << texts.join(QLatin1Char('|')).toStdString();
  paste->trigger();
  EXPECT_EQ(steps->text(), "1.5");
  EXPECT_EQ(r.form().Text3.text(), "1.5");
}

TEST(WindowSync, BoxesAndListsChangeThroughTheModelAndItsHandlers) {
  WindowRig r;
  r.rig.devices.names = {"USB Serial (ttyUSB0) (COM3)"};
  r.start();
  QTest::mouseClick(r.w("CheckM1"), Qt::LeftButton);
  EXPECT_EQ(r.form().CheckM1.value(), 1);
  EXPECT_FALSE(r.w<QCheckBox>("CheckM2")->isChecked()) << "the pair's handler ran and shows";
  r.w("CheckP3")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(r.w("CheckP3"), Qt::Key_Space);
  EXPECT_EQ(r.form().CheckP3.value(), 1);

  auto* mode = r.w<QComboBox>("Disparo");
  mode->setFocus(Qt::TabFocusReason);
  QTest::keyClick(mode, Qt::Key_Down);  // "Programa(Tecla)"
  QTest::keyClick(mode, Qt::Key_Down);  // "Disparador"
  EXPECT_EQ(r.form().Disparo.listIndex(), 1);
  EXPECT_EQ(r.form().Disparo.text(), "Disparador");
  EXPECT_TRUE(r.w("Combo1")->isHidden()) << "the handler switched the visible group";
  EXPECT_FALSE(r.w("temEsp")->isHidden());
  QTest::keyClick(mode, Qt::Key_Up);  // back to "Programa(Tecla)": the key's list
  auto* key = r.w<QComboBox>("Combo1");
  ASSERT_EQ(r.form().Combo1.listIndex(), 2);
  key->setFocus(Qt::TabFocusReason);
  key->lineEdit()->selectAll();
  QTest::keyClicks(key->lineEdit(), "F9");
  EXPECT_EQ(r.form().Combo1.text(), "F9");
  EXPECT_EQ(r.form().Combo1.listIndex(), -1) << "typing never selects an item";
  QTest::keyClick(key, Qt::Key_Return);
  EXPECT_EQ(r.form().Combo1.listIndex(), -1);
  EXPECT_EQ(key->count(), 7) << "nothing is added to the list";
  // Choosing a port selects it in the model.
  auto* ports = r.w<QComboBox>("ComboBoxCOM");
  emit ports->activated(0);
  EXPECT_EQ(r.form().ComboBoxCOM.listIndex(), 0);
  EXPECT_EQ(ports->currentText(), "USB Serial (ttyUSB0) (COM3)");
}

TEST(WindowSync, AScanThatFindsThousandsOfPortsAddsEachItemOnce) {
  WindowRig r;
  for (int i = 1; i <= 3000; ++i) r.rig.devices.names.push_back("Puerto (COM" + std::to_string(i) + ")");
  r.start();
  auto* combo = r.w<QComboBox>("ComboBoxCOM");
  ASSERT_EQ(combo->count(), 3000);
  int inserted = 0;
  QObject::connect(combo->model(), &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
  r.form().BuscarPuerto_Click();  // appends what it finds again
  EXPECT_EQ(combo->count(), 6000);
  EXPECT_EQ(inserted, 3000) << "each new item added once, not the whole list again for every item";
  EXPECT_EQ(combo->itemText(5999), "Puerto (COM3000)");
}

TEST(WindowSync, TheSpeedBarChangesWhenTheUserLetsGo) {
  WindowRig r;
  r.start();
  auto* speed = r.w<QScrollBar>("hscVelocidad");
  EXPECT_EQ(speed->minimum(), 1);
  EXPECT_EQ(speed->maximum(), 1000);
  EXPECT_EQ(speed->orientation(), Qt::Horizontal);
  speed->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(r.w<QLabel>("lblVelocidad")->text(), "2");
  speed->setSliderDown(true);
  speed->setSliderPosition(300);
  EXPECT_EQ(r.form().lblVelocidad.caption(), "2") << "not while the thumb is dragged";
  speed->setSliderDown(false);
  EXPECT_EQ(r.form().hscVelocidad.value(), 300);
  EXPECT_EQ(r.w<QLabel>("lblVelocidad")->text(), "300");
  r.form().hscVelocidad.setValue(750);  // as loading a slot does
  EXPECT_EQ(speed->value(), 750);
}

TEST(WindowSync, TheMessageFieldScrollsAndKeepsItsLineBreaksAsCrLf) {
  WindowRig r;  // no port: two lines of error text
  r.start();
  auto* messages = r.w<QPlainTextEdit>("Text_Mensajes");
  EXPECT_EQ(messages->toPlainText(), "ERROR \nNo se encontraron puertos COM.");
  EXPECT_DOUBLE_EQ(messages->font().pointSizeF(), 10) << "the model's error font";
  EXPECT_TRUE(messages->font().bold());
  EXPECT_EQ(messages->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(messages->isReadOnly());
  messages->moveCursor(QTextCursor::End);
  QTest::keyClick(messages, Qt::Key_Return);
  QTest::keyClicks(messages, "ok");
  EXPECT_EQ(r.form().Text_Mensajes.text(), "ERROR \r\nNo se encontraron puertos COM.\r\nok");
  r.form().Text_Mensajes.setText("uno\r\ndos");
  EXPECT_EQ(messages->toPlainText(), "uno\ndos");
}

TEST(WindowSync, ButtonsTheirAccessKeysAndTheCloseBoxRunTheirHandlers) {
  WindowRig r;
  r.start();  // no port: the run refuses
  QTest::keyClick(r.view().windowHandle(), Qt::Key_P, Qt::AltModifier);
  ASSERT_FALSE(r.rig.messages.texts().empty());
  EXPECT_EQ(r.rig.messages.texts().back(), "Sin conexión  puerto COM.") << "Alt+P: the run refuses without a port";
  QTest::keyClick(r.view().windowHandle(), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(r.notes().isVisible()) << "Alt+N opens the notes";
  r.rig.devices.names = {"USB Serial (ttyUSB0) (COM3)"};
  QTest::mouseClick(r.w("BuscarPuerto"), Qt::LeftButton);
  // Enter on a focused button clicks it.
  r.form().ComboBoxCOM.setListIndex(0);
  r.w("Command_CONECTAR")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(r.w("Command_CONECTAR"), Qt::Key_Return);
  EXPECT_EQ(r.rig.line(), "p");
  EXPECT_EQ(r.w<QPushButton>("Command_CONECTAR")->text(), "DESCONECTAR");
  // The close box ends the program and both windows.
  r.view().close();
  EXPECT_EQ(r.rig.process.ended, 1);
  EXPECT_EQ(r.rig.line(), "pp") << "the connect's stop, then the close box's";
  EXPECT_FALSE(r.view().isVisible());
  EXPECT_FALSE(r.notes().isVisible());
  QTest::mouseClick(r.w("Salir"), Qt::LeftButton);
  EXPECT_EQ(r.rig.process.ended, 1) << "nothing runs after the end";
}

TEST(WindowSync, AMoveShowsItsPositionAtTheScreensPaceAndTheLastOneWhenItEnds) {
  WindowRig r(/*qtEvents=*/true);
  r.start();
  r.rig.connect();
  r.rig.clock.advance(2000);
  auto* position = r.w<QLineEdit>("Text2");
  int shown = 0;
  QObject::connect(position, &QLineEdit::textChanged, [&] { ++shown; });
  r.form().Text9.setText("500");
  r.form().Mover.click();  // on the virtual clock: over in a few milliseconds of real time
  EXPECT_EQ(position->text(), "500") << "the last position, as soon as the move ended";
  EXPECT_LT(shown, 50) << "not once per step";
}

}  // namespace
}  // namespace velmira
