// The notes window on screen: where it opens, what it shows, how it hides
// and unloads.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/gui/window_rig.h"

namespace velmira {
namespace {

using test::WindowRig;

TEST(NotesWindow, OpensAtTheRightEdgeOfTheScreenWithTheFilesText) {
  WindowRig r;
  r.rig.writeFile("Notas.txt", "L\xEDnea uno\r\nDos");  // Windows-1252
  r.start();
  QTest::mouseClick(r.w("Notas"), Qt::LeftButton);
  qt::NotesView& notes = r.notes();
  ASSERT_TRUE(notes.isVisible());
  EXPECT_EQ(notes.windowTitle(), "Notas");
  EXPECT_EQ(notes.size(), QSize(389, 304));
  EXPECT_EQ(notes.minimumSize(), notes.maximumSize());
  // 1024 x 768 screen; placed by the outer size the window system reports.
  const F_Notas& model = r.form().notas();
  const QRect frame = notes.frameGeometry();
  EXPECT_EQ(model.Left, 15360 - qt::twips(frame.width()));
  EXPECT_EQ(model.Top, static_cast<int>(11520 / 2.0 - qt::twips(frame.height()) / 2.0));
  EXPECT_EQ(frame.topLeft(), QPoint(qt::px(model.Left), qt::px(model.Top)));
  EXPECT_EQ(notes.text()->text(), "Línea uno\nDos");
  EXPECT_EQ(notes.text()->geometry(), QRect(0, 0, 305, 297));
  EXPECT_TRUE(notes.text()->wordWrap());
  EXPECT_TRUE(notes.text()->autoFillBackground()) << "opaque";
  EXPECT_EQ(notes.text()->alignment(), Qt::AlignLeft | Qt::AlignTop);
  EXPECT_DOUBLE_EQ(notes.text()->font().pointSizeF(), 8.25);
  EXPECT_FALSE(notes.text()->font().bold());
  EXPECT_EQ(notes.volver()->text(), "Volver");
  EXPECT_EQ(notes.volver()->geometry(), QRect(320, 144, 57, 25));
  EXPECT_TRUE(r.view().isVisible()) << "modeless: the main window stays";
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

TEST(NotesWindow, ALongTextIsCutOffAtTheLabelsBottom) {
  WindowRig r;
  std::string text;
  for (int i = 0; i < 200; ++i) text += "Una nota bastante larga que ocupa sitio. ";
  r.rig.writeFile("Notas.txt", text);
  r.start();
  r.form().Notas_Click();
  EXPECT_EQ(r.notes().text()->geometry(), QRect(0, 0, 305, 297));
  EXPECT_EQ(r.notes().size(), QSize(389, 304));
  EXPECT_GT(r.notes().text()->heightForWidth(305), 297) << "the text is taller than the label";
}

}  // namespace
}  // namespace velmira
