// What the numeric fields let through, where Enter takes the focus, the
// minus rule of the position field and the selection on focus gain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

struct FieldRow {
  const char* field;
  bool comma;       // the comma passes
  bool minus;       // the minus passes (at the start of an empty field)
  const char* next; // where Enter takes the focus
};

// All eleven fields, with their filters and their successors in tab order.
const FieldRow kFields[] = {
    {"Text3", false, false, "Text6"},   {"Text6", true, false, "Text7"},
    {"Text7", true, false, "C20"},      {"Text8", true, false, "hscVelocidad"},
    {"Text4", false, false, "Disparo"}, {"Text5", true, false, "Text10"},
    {"Text10", true, false, "B_Procesar"}, {"temEsp", true, false, "Text5"},
    {"Text9", false, false, "Text2"},   {"Text2", false, true, "Limpia"},
    {"Nfotos", false, false, "LimpiaF"},
};

TextBox& field(Form_Principal& f, const std::string& name) { return static_cast<TextBox&>(*f.control(name)); }

// Stack values that make every Enter a clean computation without a message.
void fillStack(Form_Principal& f) {
  f.Text3.setText("40");
  f.Text6.setText("0,0125");
  f.Text7.setText("0,5");
  f.Text4.setText("25");
}

TEST(FieldFilters, EachFieldReceivesOnlyItsCharacters) {
  struct Key { int code; const char* what; };
  const Key digits[] = {{'0', "0"}, {'1', "1"}, {'5', "5"}, {'9', "9"}};
  const Key refused[] = {{'.', "point"},   {'+', "plus"},    {'a', "letter"},  {'E', "exponent"},
                         {' ', "blank"},   {3, "Ctrl+C"},    {22, "Ctrl+V"},   {24, "Ctrl+X"},
                         {1, "Ctrl+A"},    {27, "Escape"},   {9, "TAB"},       {127, "DEL"},
                         {0xBA, "ordinal"}, {'/', "slash"},  {0x100 + '1', "above a byte"}};
  for (const FieldRow& row : kFields) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    TextBox& t = field(f, row.field);
    auto received = [&](int code) {
      t.setText("");
      return f.keyPress(t, code);
    };
    for (const Key& k : digits) EXPECT_EQ(received(k.code), k.code) << row.field << " digit " << k.what;
    for (const Key& k : refused) EXPECT_EQ(received(k.code), 0) << row.field << ' ' << k.what;
    EXPECT_EQ(received(','), row.comma ? ',' : 0) << row.field << " comma";
    EXPECT_EQ(received('-'), row.minus ? '-' : 0) << row.field << " minus";
    EXPECT_EQ(received(8), 8) << row.field << " backspace";
    EXPECT_TRUE(rig.messages.shown.empty()) << row.field;
  }
}

TEST(FieldFilters, EnterMovesTheFocusToTheNextControlInTabOrder) {
  for (const FieldRow& row : kFields) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    fillStack(f);
    TextBox& t = field(f, row.field);
    f.SetFocus(t);
    EXPECT_EQ(f.keyPress(t, 13), 13) << row.field << ": Enter is not swallowed";
    ASSERT_NE(f.focused(), nullptr);
    EXPECT_EQ(f.focused()->name(), row.next) << row.field;
    EXPECT_TRUE(rig.messages.shown.empty()) << row.field;
  }
}

TEST(FieldFilters, CommasAreNeitherCountedNorPlaced) {
  // A third comma, or one at the start, still reaches the field.
  test::Rig rig;
  Form_Principal& f = rig.form();
  for (const char* text : {"1,2", ""}) {
    f.Text6.setText(text);
    f.Text6.setSelection(static_cast<int>(std::string(text).size()), 0);
    EXPECT_EQ(f.keyPress(f.Text6, ','), ',') << '"' << text << '"';
  }
}

TEST(FieldFilters, EnterQueuesTheTabEvenWhenTheInputIsRefusedButTheMessageKeepsTheFocus) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.SetFocus(f.Text3);  // Text3 holds "0": not given
  f.keyPress(f.Text3, 13);
  EXPECT_EQ(rig.messages.texts(), std::vector<std::string>{"Falta Nº pasos"});
  EXPECT_EQ(f.focused(), &f.Text3);
}

TEST(PositionField, TakesOneMinusAsItsFirstCharacter) {
  // Whether the key reaches the field; the field's own edit (a character
  // at the caret, replacing the selection) is the toolkit's, tested on the
  // real window.
  struct Case {
    const char* text;
    int selStart, selLength;
    int code;
    bool received;
  };
  const Case cases[] = {
      {"5", 0, 0, '-', true},    // caret before the 5
      {"5", 1, 0, '-', false},   // caret after the 5
      {"-5", 0, 0, '-', false},  // a second minus
      {"-5", 2, 0, '-', false},
      {"-5", 0, 2, '-', false},  // whole text selected: refused though it would replace it
      {"-5", 0, 2, '3', true},   // a digit replaces the selection
      {"", 0, 0, '-', true},
      {"12", 1, 1, '-', false},
      {"5", 0, 0, '7', true},
  };
  for (const Case& c : cases) {
    test::Rig rig;
    Form_Principal& f = rig.form();
    f.Text2.setText(c.text);
    f.Text2.setSelection(c.selStart, c.selLength);
    EXPECT_EQ(f.keyPress(f.Text2, c.code), c.received ? c.code : 0)
        << '"' << c.text << "\" sel " << c.selStart << '+' << c.selLength << " key " << static_cast<char>(c.code);
    EXPECT_EQ(f.Text2.text(), c.text) << "the handler itself edits nothing";
  }
}

TEST(PositionField, AfterGainingTheFocusAMinusIsRefusedAndADigitReplacesTheText) {
  test::Rig rig;
  Form_Principal& f = rig.form();
  f.Text2.setText("-5");
  f.SetFocus(f.Text2);  // selects the whole text
  EXPECT_EQ(f.keyPress(f.Text2, '-'), 0);
  EXPECT_EQ(f.keyPress(f.Text2, '8'), '8');
}

TEST(FieldFocus, GainingTheFocusSelectsTheWholeText) {
  struct Case { const char* text; int length; };
  const Case cases[] = {{"", 0}, {"0", 1}, {"0,0125", 6}, {"1º", 2}, {"€5,5", 4}};
  for (const FieldRow& row : kFields) {
    for (const Case& c : cases) {
      test::Rig rig;
      Form_Principal& f = rig.form();
      TextBox& t = field(f, row.field);
      t.setText(c.text);
      t.setSelection(1, 0);
      f.SetFocus(t);
      EXPECT_EQ(t.selStart(), 0) << row.field << " \"" << c.text << '"';
      EXPECT_EQ(t.selLength(), c.length) << row.field << " \"" << c.text << '"';
    }
  }
}

}  // namespace
}  // namespace velmira
