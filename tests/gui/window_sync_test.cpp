// The window and its model in step both ways: what the user does to a
// widget reaches the window's handlers, and what the handlers change shows.
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
#include <QTimer>

#include "qt/field_edit.h"
#include "qt/spanish_texts.h"
#include "tests/gui/window_rig.h"

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

TEST(FieldTyping, KeysGoThroughTheFieldsFiltersAndLengths) {
  WindowRig r;
  r.start();
  r.form().Disparo.setListIndex(1);  // shows the mirror delay field
  struct Case { const char* field; const char* typed; const char* shown; };
  const Case cases[] = {{"Text3", "1.5", "15"},   {"Text6", "1,5", "1,5"}, {"Text6", "0,0125", "0,0125"},
                        {"Text4", "1234", "123"}, {"temEsp", "25", "2"},   {"Text2", "-5-", "-5"},
                        {"Text9", "12a3", "123"}, {"Nfotos", ",7", "7"},   {"Text10", "2,55", "2,"},
                        {"Text8", "1,2,3", "1,2,3"}, {"Text7", "x9", "9"}};
  for (const Case& c : cases) {
    QLineEdit* field = enter(r, c.field);
    QTest::keyClicks(field, QString::fromUtf8(c.typed));
    EXPECT_EQ(field->text().toStdString(), c.shown) << c.field << " typed " << c.typed;
    auto* model = static_cast<TextBox*>(r.form().control(c.field));
    EXPECT_EQ(model->text(), c.shown) << c.field;
    EXPECT_EQ(model->selStart(), static_cast<int>(field->text().size())) << "the caret follows the typing";
  }
}

TEST(FieldTyping, KeyCodesAreTheWindowsOnes) {
  struct Case { Qt::Key key; Qt::KeyboardModifiers mods; const char* text; int code; };
  const Case cases[] = {{Qt::Key_1, Qt::NoModifier, "1", '1'},
                        {Qt::Key_Comma, Qt::NoModifier, ",", ','},
                        {Qt::Key_Period, Qt::KeypadModifier, ".", '.'},
                        {Qt::Key_Ntilde, Qt::NoModifier, "ñ", 241},
                        {Qt::Key_unknown, Qt::NoModifier, "€", 128},
                        {Qt::Key_unknown, Qt::NoModifier, "中", '?'},
                        {Qt::Key_C, Qt::ControlModifier, "c", 3},
                        {Qt::Key_V, Qt::ControlModifier, "v", 22},
                        {Qt::Key_X, Qt::ControlModifier, "x", 24},
                        {Qt::Key_Backspace, Qt::NoModifier, "\b", 8},
                        {Qt::Key_Return, Qt::NoModifier, "\r", 13},
                        {Qt::Key_Enter, Qt::KeypadModifier, "\r", 13},
                        {Qt::Key_Escape, Qt::NoModifier, "\x1b", 27},
                        {Qt::Key_Left, Qt::NoModifier, "", -1},
                        {Qt::Key_Delete, Qt::NoModifier, "\x7f", -1},
                        {Qt::Key_F8, Qt::NoModifier, "", -1},
                        {Qt::Key_Left, Qt::ControlModifier, "", -1}};
  for (const Case& c : cases) {
    QKeyEvent e(QEvent::KeyPress, c.key, c.mods, QString::fromUtf8(c.text));
    EXPECT_EQ(qt::keyCodeOf(e), c.code) << c.text << " key " << c.key;
  }
}

TEST(FieldTyping, EnterMovesTheFocusToTheNextControlAndAddsNothing) {
  WindowRig r;
  r.start();
  const size_t startUpBoxes = r.rig.messages.shown.size();
  QLineEdit* delay = enter(r, "Text10");
  QTest::keyClick(delay, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), r.w("B_Procesar"));
  EXPECT_EQ(r.form().focused(), &r.form().B_Procesar);
  EXPECT_EQ(delay->text(), "4");

  QLineEdit* steps = enter(r, "Text9");
  QTest::keyClick(steps, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(QApplication::focusWidget(), r.w("Text2"));
  EXPECT_EQ(r.w<QLineEdit>("Text2")->selectedText(), "0") << "the field it lands on selects its text";
  EXPECT_EQ(r.rig.messages.shown.size(), startUpBoxes) << "Enter shows no box";
}

TEST(FieldTyping, TheMinusRuleSeesTheCaretOfTheField) {
  WindowRig r;
  r.start();
  struct Case { Qt::Key caret; const char* shown; };
  const Case cases[] = {{Qt::Key_Home, "-5"}, {Qt::Key_End, "5"}};
  for (const Case& c : cases) {
    r.form().Text2.setText("5");
    QLineEdit* position = enter(r, "Text2");
    QTest::keyClick(position, c.caret);
    QTest::keyClick(position, Qt::Key_Minus, Qt::NoModifier);
    EXPECT_EQ(position->text().toStdString(), c.shown);
    EXPECT_EQ(r.form().Text2.text(), c.shown);
    r.w("Text9")->setFocus(Qt::TabFocusReason);
  }
  // With the whole text selected, a minus is refused and a digit replaces it.
  r.form().Text2.setText("-5");
  QLineEdit* position = enter(r, "Text2");
  ASSERT_EQ(position->selectedText(), "-5");
  QTest::keyClick(position, Qt::Key_Minus);
  EXPECT_EQ(position->text(), "-5");
  QTest::keyClicks(position, "7");
  EXPECT_EQ(position->text(), "7");
}

TEST(FieldTyping, BackspaceDeletesAndTheLengthLimitBindsOnlyTheUser) {
  WindowRig r;
  r.start();
  r.form().Text2.setText("-1234567");  // longer than the field admits: set by the program
  QLineEdit* position = r.w<QLineEdit>("Text2");
  EXPECT_EQ(position->text(), "-1234567");
  position->setFocus(Qt::MouseFocusReason);
  QTest::keyClick(position, Qt::Key_End);
  QTest::keyClick(position, Qt::Key_8);
  EXPECT_EQ(position->text(), "-1234567") << "no room for one more";
  QTest::keyClick(position, Qt::Key_Backspace);
  QTest::keyClick(position, Qt::Key_Backspace);
  EXPECT_EQ(r.form().Text2.text(), "-12345");
  QTest::keyClicks(position, "89");
  EXPECT_EQ(r.form().Text2.text(), "-123458") << "seven characters";
}

TEST(FieldTyping, ControlKeysAreSwallowedButTheContextMenuPastesUnscreened) {
  WindowRig r;
  r.start();
  QApplication::clipboard()->setText("1.5");
  QLineEdit* steps = enter(r, "Text3");
  QTest::keyClick(steps, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(steps->text(), "0") << "Ctrl+V is the code 22, which the filter swallows";
  std::unique_ptr<QMenu> menu(steps->createStandardContextMenu());
  QAction* paste = nullptr;
  for (QAction* a : menu->actions())
    if (a->text().contains(QStringLiteral("Paste"))) paste = a;
  ASSERT_NE(paste, nullptr);
  paste->trigger();
  EXPECT_EQ(steps->text(), "1.5");
  EXPECT_EQ(r.form().Text3.text(), "1.5");
}

TEST(FieldTyping, FocusFromTheUserRaisesTheFieldsFocusHandler) {
  WindowRig r;
  r.start();
  QLineEdit* frames = r.w<QLineEdit>("Text4");
  frames->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(r.form().focused(), &r.form().Text4);
  EXPECT_EQ(r.form().Text4.selStart(), 0);
  EXPECT_EQ(r.form().Text4.selLength(), 2);
  EXPECT_EQ(frames->selectedText(), "25");
  // And the logic's focus moves the widgets' focus.
  r.form().SetFocus(r.form().Text9);
  EXPECT_EQ(QApplication::focusWidget(), r.w("Text9"));
}

TEST(WindowSync, CheckBoxesToggleThroughTheModelAndItsHandlers) {
  WindowRig r;
  r.start();
  auto* backwards = r.w<QCheckBox>("CheckM1");
  QTest::mouseClick(backwards, Qt::LeftButton);
  EXPECT_EQ(r.form().CheckM1.value(), 1);
  EXPECT_EQ(r.form().CheckM2.value(), 0) << "the pair's handler ran";
  EXPECT_TRUE(backwards->isChecked());
  EXPECT_FALSE(r.w<QCheckBox>("CheckM2")->isChecked());
  auto* positioning = r.w<QCheckBox>("CheckP3");
  positioning->setFocus(Qt::TabFocusReason);
  QTest::keyClick(positioning, Qt::Key_Space);
  EXPECT_EQ(r.form().CheckP3.value(), 1);
  EXPECT_FALSE(r.w<QCheckBox>("CheckP4")->isChecked());
  // Code sets the model; the widget follows.
  r.form().Check1.setValue(0);
  EXPECT_FALSE(r.w<QCheckBox>("Check1")->isChecked());
}

TEST(WindowSync, ChoosingAShutterModeSwitchesTheVisibleGroup) {
  WindowRig r;
  r.start();
  auto* mode = r.w<QComboBox>("Disparo");
  mode->setFocus(Qt::TabFocusReason);
  QTest::keyClick(mode, Qt::Key_Down);  // "Programa(Tecla)"
  EXPECT_EQ(r.form().Disparo.listIndex(), 0);
  QTest::keyClick(mode, Qt::Key_Down);  // "Disparador"
  EXPECT_EQ(r.form().Disparo.listIndex(), 1);
  EXPECT_EQ(r.form().Disparo.text(), "Disparador");
  EXPECT_EQ(mode->currentText(), "Disparador");
  for (const char* shown : {"temEsp", "DLabel", "CheckEsp", "EspL"}) EXPECT_FALSE(r.w(shown)->isHidden()) << shown;
  for (const char* hidden : {"Combo1", "Label3"}) EXPECT_TRUE(r.w(hidden)->isHidden()) << hidden;
  QTest::mouseClick(r.w("CheckEsp"), Qt::LeftButton);
  EXPECT_TRUE(r.w("temEsp")->isHidden()) << "each click of the box flips the delay field";
}

TEST(WindowSync, TypingIntoAComboSetsItsTextAndDeselectsItsList) {
  WindowRig r;
  r.rig.devices.names = {"USB Serial (ttyUSB0) (COM3)"};
  r.start();
  auto* key = r.w<QComboBox>("Combo1");
  ASSERT_EQ(r.form().Combo1.listIndex(), 2);
  key->setFocus(Qt::TabFocusReason);
  key->lineEdit()->selectAll();
  QTest::keyClicks(key->lineEdit(), "F9");
  EXPECT_EQ(r.form().Combo1.text(), "F9");
  EXPECT_EQ(r.form().Combo1.listIndex(), -1) << "typing never selects an item";
  EXPECT_EQ(key->currentText(), "F9");
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

TEST(WindowSync, QtsOwnTextsAreSpanishToo) {
  ASSERT_TRUE(qt::installSpanishQtTexts()) << "qt6-translations-l10n is installed by ./dev";
  WindowRig r;
  r.start();
  std::unique_ptr<QMenu> menu(r.w<QLineEdit>("Text3")->createStandardContextMenu());
  QStringList texts;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) texts << a->text().section(QLatin1Char('\t'), 0, 0);  // less the shortcut
  EXPECT_TRUE(texts.contains(QStringLiteral("&Deshacer"))) << texts.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("&Pegar"))) << texts.join(QLatin1Char('|')).toStdString();
}

TEST(WindowSync, TheSpeedBarChangesWhenTheUserLetsGo) {
  WindowRig r;
  r.start();
  auto* speed = r.w<QScrollBar>("hscVelocidad");
  EXPECT_EQ(speed->minimum(), 1);
  EXPECT_EQ(speed->maximum(), 1000);
  EXPECT_EQ(speed->orientation(), Qt::Horizontal);
  speed->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(r.form().hscVelocidad.value(), 2);
  EXPECT_EQ(r.w<QLabel>("lblVelocidad")->text(), "2");
  speed->setSliderDown(true);
  speed->setSliderPosition(300);
  EXPECT_EQ(r.form().lblVelocidad.caption(), "2") << "not while the thumb is dragged";
  speed->setSliderDown(false);
  EXPECT_EQ(r.form().hscVelocidad.value(), 300);
  EXPECT_EQ(r.w<QLabel>("lblVelocidad")->text(), "300");
  r.form().hscVelocidad.setValue(750);  // as loading a slot does
  EXPECT_EQ(speed->value(), 750);
  EXPECT_EQ(r.w<QLabel>("lblVelocidad")->text(), "750");
}

TEST(WindowSync, TheMessageFieldKeepsItsLineBreaksAsCrLf) {
  WindowRig r;
  r.start();
  auto* messages = r.w<QPlainTextEdit>("Text_Mensajes");
  messages->moveCursor(QTextCursor::End);
  QTest::keyClick(messages, Qt::Key_Return);
  QTest::keyClicks(messages, "ok");
  EXPECT_EQ(r.form().Text_Mensajes.text(), "ERROR \r\nNo se encontraron puertos COM.\r\nok");
  r.form().Text_Mensajes.setText("uno\r\ndos");
  EXPECT_EQ(messages->toPlainText(), "uno\ndos");
}

TEST(WindowSync, ButtonsAndTheirAccessKeysRunTheirHandlers) {
  WindowRig r;
  r.start();
  QTest::keyClick(r.view().windowHandle(), Qt::Key_P, Qt::AltModifier);
  ASSERT_FALSE(r.rig.messages.texts().empty());
  EXPECT_EQ(r.rig.messages.texts().back(), "Sin conexión  puerto COM.") << "Alt+P: the run refuses without a port";
  QTest::keyClick(r.view().windowHandle(), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(r.notes().isVisible()) << "Alt+N opens the notes";
  r.notes().hide();
  r.rig.devices.names = {"USB Serial (ttyUSB0) (COM3)"};
  QTest::mouseClick(r.w("BuscarPuerto"), Qt::LeftButton);
  EXPECT_EQ(r.w<QComboBox>("ComboBoxCOM")->count(), 1);
  EXPECT_TRUE(r.w("Command_CONECTAR")->isEnabled());
  // Enter on a focused button clicks it.
  r.form().ComboBoxCOM.setListIndex(0);
  r.w("Command_CONECTAR")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(r.w("Command_CONECTAR"), Qt::Key_Return);
  EXPECT_EQ(r.rig.line(), "p");
  EXPECT_EQ(r.w<QPushButton>("Command_CONECTAR")->text(), "DESCONECTAR");
}

TEST(WindowSync, TheCloseBoxEndsTheProgramAndSwitchesTheMotorOff) {
  WindowRig r;
  r.start();
  r.connect();
  r.form().Notas_Click();
  r.form().notas().B_Volver_Click();  // loaded, hidden
  r.view().close();
  EXPECT_EQ(r.rig.process.ended, 1);
  EXPECT_EQ(r.rig.line(), "pp") << "the connect's stop, then the close box's";
  EXPECT_FALSE(r.rig.serial.isOpen());
  EXPECT_FALSE(r.view().isVisible());
  EXPECT_FALSE(r.notes().isVisible());
  // Nothing runs after the end.
  QTest::mouseClick(r.w("Salir"), Qt::LeftButton);
  EXPECT_EQ(r.rig.process.ended, 1);
}

TEST(WindowSync, AMoveShowsItsPositionAtTheScreensPaceAndTheLastOneWhenItEnds) {
  WindowRig r(/*qtEvents=*/true);
  r.start();
  r.connect();
  r.rig.clock.advance(2000);
  auto* position = r.w<QLineEdit>("Text2");
  int shown = 0;
  QObject::connect(position, &QLineEdit::textChanged, [&] { ++shown; });
  r.form().Text9.setText("500");
  r.form().Mover.click();  // on the virtual clock: over in a few milliseconds of real time
  EXPECT_EQ(position->text(), "500") << "the last position, as soon as the move ended";
  EXPECT_LT(shown, 50) << "not once per step";
}

TEST(WindowSync, ExitClickedDuringAMoveEndsItWithoutTheMovesOwnStop) {
  WindowRig r(/*qtEvents=*/true);
  r.start();
  r.connect();
  r.form().Text9.setText("1000");
  QTimer::singleShot(0, r.w<QPushButton>("Salir"), &QPushButton::click);
  QTest::mouseClick(r.w("Mover"), Qt::LeftButton);
  // One step ("a"), then the exit's event pass: "p", red, 300 ms, closed.
  EXPECT_EQ(r.rig.line(), "pap");
  EXPECT_EQ(r.rig.process.ended, 1);
  EXPECT_FALSE(r.rig.serial.isOpen());
  EXPECT_EQ(r.form().Text2.text(), "1") << "the interrupted loop never resumed";
}

}  // namespace
}  // namespace velmira
