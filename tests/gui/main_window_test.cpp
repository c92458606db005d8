// The main window and the notes window as drawn: places, captions, tool
// tips, fonts, colours, the framing lines, the indicator, the background,
// the tab order.  What the texts say and when they change is in the
// scenarios; here the widgets show them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <set>

#include "qt/control_widgets.h"
#include "qt/look.h"
#include "tests/support/real_window_rig.h"

namespace velmira {
namespace {

using test::WindowRig;

// The colour the window shows at `p` (window coordinates).
QColor shownAt(QWidget& window, QPoint p) { return window.grab().toImage().pixelColor(p); }

::testing::AssertionResult near(const QColor& a, const QColor& b, int by = 12) {
  if (std::abs(a.red() - b.red()) <= by && std::abs(a.green() - b.green()) <= by && std::abs(a.blue() - b.blue()) <= by)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "rgb(" << a.red() << "," << a.green() << "," << a.blue() << ")";
}

// Every widget shows what its control holds: place (twips to pixels,
// rounded), font, tool tip, state, caption and colours.  What the controls
// hold is in tests/scenarios/window.scn.
TEST(MainWindow, EveryWidgetShowsItsControlsPlaceFontTipCaptionAndColours) {
  WindowRig r;
  r.rig.devices.names = {"USB Serial (ttyUSB0) (COM3)", "velmira-sim (pts/4) (COM7)"};
  r.start();
  EXPECT_EQ(r.view().size(), QSize(697, 540));
  EXPECT_EQ(r.view().minimumSize(), QSize(697, 540));
  EXPECT_EQ(r.view().maximumSize(), QSize(697, 540));
  EXPECT_EQ(r.view().windowTitle(), "Velmira v.101");
  auto px = [](int twips) { return (twips + 7) / 15; };
  for (Control* c : r.form().controls()) {
    if (c->kind() == Kind::Line || c->kind() == Kind::Image) continue;  // below
    QWidget* w = r.view().widgetFor(*c);
    const Geometry& g = c->geometry();
    const std::string& name = c->name();
    EXPECT_EQ(w->geometry(), QRect(px(g.left), px(g.top), px(g.width), px(g.height))) << name;
    EXPECT_EQ(w->toolTip().toStdString(), c->toolTip()) << name;
    EXPECT_EQ(std::pair(w->isEnabled(), w->isHidden()), std::pair(c->enabled(), !c->visible())) << name;
    const QString family = qt::familyFor(c->font().name);
    EXPECT_DOUBLE_EQ(w->font().pointSizeF(), c->font().size) << name;
    EXPECT_EQ(w->font().bold(), c->font().bold) << name;
    EXPECT_EQ(w->font().family(), family) << name;
    EXPECT_EQ(QFontInfo(w->font()).family(), family) << name << ": the font drawn is the one asked for";
    if (c->kind() == Kind::Button) {
      EXPECT_EQ(w->property("text").toString().toStdString(), static_cast<Button*>(c)->caption()) << name;
      // On screen: the face beside the caption.
      if (c->backColor() >= 0) {
        EXPECT_TRUE(near(shownAt(*w, {4, w->height() / 2}), qt::colourOf(c->backColor()), 24)) << name;
      }
    }
    EXPECT_TRUE(c->kind() != Kind::CheckBox || w->property("text").toString().isEmpty()) << name;
    if (c->kind() == Kind::Label) {
      EXPECT_EQ(w->property("text").toString().toStdString(), static_cast<Label*>(c)->caption()) << name;
      if (c->foreColor() >= 0) {
        EXPECT_EQ(w->palette().color(QPalette::WindowText), qt::colourOf(c->foreColor())) << name;
      }
    }
  }
  auto* ports = r.w<QComboBox>("ComboBoxCOM");
  ASSERT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->itemText(1), "velmira-sim (pts/4) (COM7)");
  EXPECT_EQ(ports->currentIndex(), -1);
  EXPECT_EQ(ports->currentText(), "Seleccionar Puerto");
  EXPECT_TRUE(ports->isEditable());
  EXPECT_EQ(r.w<QComboBox>("Combo1")->currentText(), "F8");
}

TEST(MainWindow, TheIndicatorIsACircleInItsFillColour) {
  WindowRig r;
  r.start();
  const QPoint centre = r.w("LED")->geometry().center();
  const QPoint corner = r.w("LED")->geometry().topLeft() + QPoint(1, 1);
  EXPECT_TRUE(near(shownAt(r.view(), centre), Qt::red, 2));
  EXPECT_FALSE(near(shownAt(r.view(), corner), Qt::red, 60)) << "the corners lie outside the circle";
  r.form().LED.setFillColor(kGreen);
  EXPECT_TRUE(near(shownAt(r.view(), centre), Qt::green, 2));
}

TEST(MainWindow, SixteenFramingLinesTheOuterFrameTwoPixelsWide) {
  WindowRig r;
  r.start();
  struct Case { int index; QRect px; };
  const Case cases[] = {{0, {16, 160, 2, 370}},  {2, {224, 160, 186, 2}}, {3, {16, 528, 394, 2}},
                        {4, {408, 160, 2, 370}}, {1, {56, 360, 1, 153}},  {5, {152, 360, 233, 1}},
                        {9, {520, 168, 153, 1}}, {12, {616, 208, 41, 1}}, {13, {656, 208, 1, 25}}};
  for (const Case& c : cases) {
    QWidget* line = r.w("Line1(" + std::to_string(c.index) + ")");
    EXPECT_EQ(line->geometry(), c.px) << c.index;
    EXPECT_EQ(shownAt(r.view(), c.px.center()), QColor(Qt::black)) << c.index;
  }
  int lines = 0;
  for (int i = 0; i < 20; ++i) lines += r.view().widgetFor("Line1(" + std::to_string(i) + ")") != nullptr;
  EXPECT_EQ(lines, 16);
}

// A picture whose left half is red and right half blue.
void writePicture(test::Rig& rig) {
  QImage picture(100, 60, QImage::Format_RGB32);
  picture.fill(Qt::red);
  for (int y = 0; y < 60; ++y)
    for (int x = 50; x < 100; ++x) picture.setPixelColor(x, y, Qt::blue);
  ASSERT_TRUE(picture.save(QString::fromStdString(rig.dir() + "/MiImagen.jpg"), "JPEG", 100));
}

TEST(MainWindow, TheBackgroundIsStretchedOverTheWholeWindowBehindTransparentCaptions) {
  WindowRig r;
  writePicture(r.rig);
  r.start();
  ASSERT_FALSE(r.form().Image1.picture().empty());
  // The picture covers the outer size of the window, frame included.
  EXPECT_EQ(r.w("Image1")->geometry(), QRect(QPoint(0, 0), r.view().frameGeometry().size()));
  EXPECT_TRUE(near(shownAt(r.view(), {3, 3}), Qt::red)) << "left half";
  EXPECT_TRUE(near(shownAt(r.view(), {690, 533}), Qt::blue)) << "right half, stretched to the corner";
  // An empty caption shows what lies behind its label.
  r.form().Label29.setCaption("");
  EXPECT_TRUE(near(shownAt(r.view(), r.w("Label29")->geometry().center()), Qt::red));
  // The credit label is opaque.
  r.form().Label27.setCaption("");
  r.form().Label27.setVisible(true);
  const QColor credit = shownAt(r.view(), r.w("Label27")->geometry().center());
  EXPECT_FALSE(near(credit, Qt::blue, 60));
  EXPECT_EQ(credit, r.w("Label27")->palette().color(QPalette::Window));
}

TEST(MainWindow, TabFollowsTheTabOrderPastHiddenAndDisabledControlsAndWrapsAround) {
  WindowRig r;  // no port: the port controls are disabled; no slot: the mirror group is hidden
  r.start();
  std::set<QWidget*> controls;
  for (Control* c : r.form().controls()) controls.insert(r.view().widgetFor(*c));
  std::vector<std::string> expected;
  for (Control* c : r.form().tabOrder()) expected.push_back(c->name());
  expected.push_back(expected.front());  // around again

  QWidget* first = r.w("ComboBoxCOM");
  std::vector<std::string> seen{first->objectName().toStdString()};
  for (QWidget* w = first->nextInFocusChain(); seen.size() < expected.size() && w != nullptr;
       w = w->nextInFocusChain()) {
    if (controls.count(w) && (w->focusPolicy() & Qt::TabFocus)) seen.push_back(w->objectName().toStdString());
    if (seen.size() > 200) break;
  }
  EXPECT_EQ(seen, expected);
  // Only what is in the tab order takes the focus: no label, indicator, picture or line.
  const std::vector<Control*>& order = r.form().tabOrder();
  for (Control* c : r.form().controls()) {
    const bool inOrder = std::count(order.begin(), order.end(), c) > 0;
    EXPECT_EQ(r.view().widgetFor(*c)->focusPolicy(), inOrder ? Qt::StrongFocus : Qt::NoFocus) << c->name();
  }
  struct Case { const char* from; const char* to; };
  const Case cases[] = {{"Text10", "B_Procesar"}, {"Combo1", "Text5"}, {"CargarC2", "CheckM2"},
                        {"Text9", "Text2"},       {"Disparo", "Combo1"}, {"Salir", "Text_Mensajes"},
                        {"Text_Mensajes", "SalvarC"}, {"C20", "Text8"}, {"Text8", "hscVelocidad"}};
  for (const Case& c : cases) {
    r.w(c.from)->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(r.w(c.from)->hasFocus()) << c.from;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), r.w(c.to)) << c.from << " -> " << c.to;
    EXPECT_EQ(r.form().focused(), r.form().control(c.to)) << "the model knows where the focus is";
  }
}

TEST(NotesWindow, OpensBesideTheMainWindowWithTheFilesTextCutOffAtTheLabelsBottom) {
  WindowRig r;
  r.rig.writeFile("Notas.txt", "Una\r\nDos");
  r.start();
  QTest::mouseClick(r.w("Notas"), Qt::LeftButton);
  qt::NotesView& notes = r.notes();
  ASSERT_TRUE(notes.isVisible());
  EXPECT_TRUE(r.view().isVisible()) << "modeless: the main window stays";
  EXPECT_EQ(notes.windowTitle(), "Notas");
  EXPECT_EQ(notes.size(), QSize(389, 304));
  EXPECT_EQ(notes.minimumSize(), notes.maximumSize());
  EXPECT_EQ(notes.text()->text(), "Una\nDos");
  EXPECT_EQ(notes.text()->geometry(), QRect(0, 0, 305, 297));
  EXPECT_TRUE(notes.text()->wordWrap());
  EXPECT_TRUE(notes.text()->autoFillBackground()) << "opaque";
  EXPECT_EQ(notes.text()->alignment(), Qt::AlignLeft | Qt::AlignTop);
  EXPECT_DOUBLE_EQ(notes.text()->font().pointSizeF(), 8.25);
  EXPECT_FALSE(notes.text()->font().bold());
  EXPECT_EQ(notes.volver()->text(), "Volver");
  EXPECT_EQ(notes.volver()->geometry(), QRect(320, 144, 57, 25));
  // A long text keeps the label's size: it is cut off at its bottom.
  std::string text;
  for (int i = 0; i < 200; ++i) text += "Una nota bastante larga que ocupa sitio. ";
  r.form().notas().L_Notas.setCaption(text);
  EXPECT_EQ(notes.text()->geometry(), QRect(0, 0, 305, 297));
  EXPECT_EQ(notes.size(), QSize(389, 304));
  EXPECT_GT(notes.text()->heightForWidth(305), 297) << "the text is taller than the label";
}

TEST(NotesWindow, VolverKeepsTheTextReadAndTheCloseBoxUnloads) {
  WindowRig r;
  r.rig.writeFile("Notas.txt", "primera");
  r.start();
  QTest::mouseClick(r.w("Notas"), Qt::LeftButton);
  QTest::mouseClick(r.notes().volver(), Qt::LeftButton);
  EXPECT_FALSE(r.notes().isVisible());
  EXPECT_TRUE(r.form().notas().loaded());
  r.rig.writeFile("Notas.txt", "segunda");
  QTest::mouseClick(r.w("Notas"), Qt::LeftButton);
  EXPECT_TRUE(r.notes().isVisible());
  EXPECT_EQ(r.notes().text()->text(), "primera") << "read once per load";
  r.notes().close();
  EXPECT_FALSE(r.notes().isVisible());
  EXPECT_FALSE(r.form().notas().loaded());
  EXPECT_EQ(r.rig.process.ended, 0) << "closing the notes does not end the program";
  QTest::mouseClick(r.w("Notas"), Qt::LeftButton);
  EXPECT_EQ(r.notes().text()->text(), "segunda");
}

}  // namespace
}  // namespace velmira
