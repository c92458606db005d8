// The main window as drawn: places, captions, tool tips, fonts, colours,
// the framing lines, the indicator, the background, the tab order.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <set>

#include "qt/control_widgets.h"
#include "tests/gui/window_rig.h"

namespace velmira {
namespace {

using test::WindowRig;

TEST(MainWindow, HasAFixedClientAreaOf697By540PixelsAndItsTitle) {
  WindowRig r;
  r.start();
  EXPECT_EQ(r.view().size(), QSize(697, 540));
  EXPECT_EQ(r.view().minimumSize(), QSize(697, 540));
  EXPECT_EQ(r.view().maximumSize(), QSize(697, 540));
  EXPECT_EQ(r.view().windowTitle(), "Velmira v.101");
  EXPECT_TRUE(r.view().isVisible());
}

TEST(MainWindow, ControlsSitAtTheirPlacesInPixels) {
  WindowRig r;
  r.start();
  struct Case { const char* name; QRect px; };
  const Case cases[] = {
      {"ComboBoxCOM", {32, 40, 249, 21}},  {"Command_CONECTAR", {32, 80, 97, 25}}, {"Text_Mensajes", {392, 40, 281, 41}},
      {"SalvarC2", {392, 120, 129, 17}},    {"CheckM2", {160, 176, 13, 13}},       {"Text6", {336, 208, 49, 19}},
      {"hscVelocidad", {152, 312, 113, 17}}, {"LED", {304, 312, 41, 33}},           {"Limpia", {344, 408, 17, 17}},
      {"Parar", {232, 440, 137, 57}},       {"Text4", {536, 216, 25, 19}},         {"Label17", {624, 216, 32, 13}},
      {"Disparo", {544, 248, 113, 21}},     {"Combo1", {544, 280, 113, 21}},       {"B_Procesar", {576, 424, 97, 41}},
      {"Notas", {440, 496, 113, 25}},       {"Label27", {408, 0, 281, 25}},        {"Label28", {488, 392, 121, 17}},
      {"Label14", {24, 144, 193, 25}},      {"Salir", {576, 480, 97, 41}},
  };
  for (const Case& c : cases) EXPECT_EQ(r.w(c.name)->geometry(), c.px) << c.name;
}

TEST(MainWindow, CaptionsToolTipsAndListsAreTheWindows) {
  WindowRig r;
  r.rig.devices.names = {"USB Serial (ttyUSB0) (COM3)", "velmira-sim (pts/4) (COM7)"};
  r.start();
  struct Case { const char* name; const char* text; const char* tip; };
  const Case buttons[] = {
      {"Command_CONECTAR", "CONECTAR", "Conectar/desconectar puerto."},
      {"B_Procesar", "&Procesar", "Ejecutar el proceso total, pausa-foto-pausa-movimiento-pausa-foto..."},
      {"Notas", "&Notas ", "Ayuda."},
      {"Salir", "Salir", "Salir de la Aplicación."},
      {"SalvarC", "Salvar Configuración 1",
       "Salva Milimetros por paso, TPF, TAF, velocidad, Modo de disparo, Tecla o Retardo."},
      {"BuscarPuerto", "Buscar Puerto", ""},
  };
  for (const Case& c : buttons) {
    EXPECT_EQ(r.w<QPushButton>(c.name)->text(), c.text) << c.name;
    EXPECT_EQ(r.w(c.name)->toolTip(), c.tip) << c.name;
  }
  EXPECT_EQ(r.w<QLabel>("Label1")->text(), "Versión 101");
  EXPECT_EQ(r.w<QLabel>("Label7")->text(), "Nº Pasos");
  EXPECT_EQ(r.w("Text2")->toolTip(), "Posición teorica (referencia).");
  EXPECT_EQ(r.w("lblVelocidad")->toolTip(), "Velocidad del motor.");
  EXPECT_EQ(r.w<QLineEdit>("Text4")->text(), "25");

  auto* ports = r.w<QComboBox>("ComboBoxCOM");
  ASSERT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->itemText(1), "velmira-sim (pts/4) (COM7)");
  EXPECT_EQ(ports->currentIndex(), -1);
  EXPECT_EQ(ports->currentText(), "Seleccionar Puerto");
  EXPECT_TRUE(ports->isEditable());
  auto* key = r.w<QComboBox>("Combo1");
  EXPECT_EQ(key->count(), 7);
  EXPECT_EQ(key->currentIndex(), 2);
  EXPECT_EQ(key->currentText(), "F8");
  for (const char* box : {"CheckM2", "CheckP3", "Check1", "CheckEsp"}) EXPECT_EQ(r.w<QCheckBox>(box)->text(), "");
}

TEST(MainWindow, FontsHaveTheirSizesAndWeightsInAFamilyThatExists) {
  WindowRig r;
  r.start();
  struct Case { const char* name; double points; bool bold; };
  const Case cases[] = {{"Mover", 12, true},     {"Parar", 13.5, false},  {"AbortarP", 13.5, false},
                        {"B_Procesar", 12, true}, {"Notas", 12, false},    {"Salir", 12, true},
                        {"Label16", 9.75, true},  {"Label14", 12, true},   {"Label5", 12, true},
                        {"Label1", 8.25, false},  {"Label9", 8.25, true},  {"Label17", 8.25, true},
                        {"Text3", 8.25, false},   {"Text_Mensajes", 10, true}, {"Label27", 12, false}};
  const QString family = qt::familyFor("MS Sans Serif");
  EXPECT_TRUE(QFontDatabase::families().contains(family)) << family.toStdString();
  for (const Case& c : cases) {
    const QFont f = r.w(c.name)->font();
    EXPECT_DOUBLE_EQ(f.pointSizeF(), c.points) << c.name;
    EXPECT_EQ(f.bold(), c.bold) << c.name;
    EXPECT_EQ(f.family(), family) << c.name;
    // The font drawn is the one asked for, not a substitute.
    EXPECT_EQ(QFontInfo(f).family(), family) << c.name;
  }
}

TEST(MainWindow, ButtonFacesAndCaptionsHaveTheirColours) {
  WindowRig r;
  r.start();
  struct Case { const char* name; QColor face; };
  const Case cases[] = {{"Command_CONECTAR", {192, 255, 192}}, {"C20", {192, 255, 192}}, {"Limpia", {255, 255, 0}},
                        {"LimpiaF", {255, 255, 0}},           {"Mover", {128, 255, 128}}, {"B_Procesar", {128, 255, 128}},
                        {"Parar", {255, 0, 0}},               {"AbortarP", {255, 0, 0}},  {"Notas", {255, 128, 0}},
                        {"Salir", {128, 128, 255}}};
  for (const Case& c : cases) {
    QWidget* b = r.w(c.name);
    EXPECT_EQ(b->palette().color(QPalette::Button), c.face) << c.name;
    // On screen: the face beside the caption.
    const QColor shown = b->grab().toImage().pixelColor(4, b->height() / 2);
    EXPECT_TRUE(test::near(shown, c.face, 24)) << c.name << " shows " << test::str(shown);
  }
  EXPECT_EQ(r.w("Label17")->palette().color(QPalette::WindowText), QColor(0, 0, 192));
}

TEST(MainWindow, TheIndicatorIsACircleInItsFillColour) {
  WindowRig r;
  r.start();
  const QPoint centre = r.w("LED")->geometry().center();
  const QPoint corner = r.w("LED")->geometry().topLeft() + QPoint(1, 1);
  EXPECT_TRUE(test::near(test::shownAt(r.view(), centre), Qt::red, 2)) << test::str(test::shownAt(r.view(), centre));
  EXPECT_FALSE(test::near(test::shownAt(r.view(), corner), Qt::red, 60)) << "the corners lie outside the circle";
  r.form().LED.setFillColor(kGreen);
  EXPECT_TRUE(test::near(test::shownAt(r.view(), centre), Qt::green, 2)) << test::str(test::shownAt(r.view(), centre));
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
    EXPECT_EQ(test::shownAt(r.view(), c.px.center()), QColor(Qt::black)) << c.index;
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
  EXPECT_TRUE(test::near(test::shownAt(r.view(), {3, 3}), Qt::red)) << "left half";
  EXPECT_TRUE(test::near(test::shownAt(r.view(), {690, 533}), Qt::blue)) << "right half, stretched to the corner";
  // An empty caption shows what lies behind its label.
  r.form().Label29.setCaption("");
  EXPECT_TRUE(test::near(test::shownAt(r.view(), r.w("Label29")->geometry().center()), Qt::red));
  // The credit label is opaque.
  r.form().Label27.setCaption("");
  r.form().Label27.setVisible(true);
  const QColor credit = test::shownAt(r.view(), r.w("Label27")->geometry().center());
  EXPECT_FALSE(test::near(credit, Qt::blue, 60)) << test::str(credit);
  EXPECT_EQ(credit, r.w("Label27")->palette().color(QPalette::Window));
}

TEST(MainWindow, ThePictureFollowsTheReportedOuterSize) {
  WindowRig r;
  writePicture(r.rig);
  r.start();
  r.form().setOuterSize(qt::twips(720), qt::twips(580));  // a frame around the client area
  EXPECT_EQ(r.w("Image1")->geometry(), QRect(0, 0, 720, 580));
}

TEST(MainWindow, TheWidgetsFocusChainIsTheTabOrderAndWrapsAround) {
  WindowRig r;
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
  for (const char* label : {"Label7", "lblVelocidad", "LED", "Image1", "Label17"})
    EXPECT_EQ(r.w(label)->focusPolicy(), Qt::NoFocus) << label;
}

TEST(MainWindow, TabSkipsHiddenAndDisabledControlsAndWrapsAround) {
  WindowRig r;  // no port: the port controls are disabled; no slot: the mirror group is hidden
  r.start();
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

TEST(MainWindow, TheMessageFieldHasSeveralLinesAndAVerticalScrollBar) {
  WindowRig r;  // no port: two lines of error text
  r.start();
  auto* messages = r.w<QPlainTextEdit>("Text_Mensajes");
  ASSERT_NE(messages, nullptr);
  EXPECT_EQ(messages->toPlainText(), "ERROR \nNo se encontraron puertos COM.");
  EXPECT_EQ(messages->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(messages->isReadOnly());
  EXPECT_FALSE(r.w("ComboBoxCOM")->isEnabled());
  EXPECT_FALSE(r.w("Command_CONECTAR")->isEnabled());
  EXPECT_FALSE(r.w("Label27")->isHidden());
  EXPECT_TRUE(r.w("temEsp")->isHidden());
  EXPECT_FALSE(r.w("Combo1")->isHidden());
}

}  // namespace
}  // namespace velmira
