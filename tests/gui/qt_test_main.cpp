// The main of the suites of the real window: Qt's offscreen platform for
// tests/gui (its key synthesis tests talk to the X display themselves), the
// X display itself for tests/x11, where input goes through the window
// system as a user makes it.  Both suites run under Xvfb.
#include <gtest/gtest.h>

#include <QApplication>

#ifndef VELMIRA_QPA
#define VELMIRA_QPA "offscreen"
#endif

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", VELMIRA_QPA);
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
