// The machine stays awake while the rail works: both locks taken from the
// desktop's services while a move or run executes, and given back however
// it ends; without the services the window goes on unchanged.
#include <gtest/gtest.h>

#include <QTest>

#include "qt/desktop_session.h"
#include "qt/qt_platform.h"
#include "tests/dbus/fake_services.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using test::FakeServices;

const QString kReason = QStringLiteral("Velmira: pila de fotos en curso");

TEST(SleepInhibitor, HoldsBothLocksUntilReleasedAndThenGivesThemBack) {
  FakeServices fakes;
  qt::QtDesktopSession desktop;
  desktop.inhibitSleep(kReason.toStdString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.login.calls.size() == 1 && fakes.screenSaver.calls.size() == 1; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.holdsSleepLock(); })) << "logind's reply reached the window";
  EXPECT_EQ(fakes.login.calls[0], (QStringList{"sleep:idle", "Velmira", kReason, "block"}));
  EXPECT_EQ(fakes.screenSaver.calls[0], (QStringList{"Inhibit", "Velmira", kReason}));
  EXPECT_TRUE(fakes.login.lockHeld());
  desktop.inhibitSleep(kReason.toStdString());  // held already: nothing more
  desktop.releaseSleep();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !fakes.login.lockHeld() && fakes.screenSaver.calls.size() == 2; }));
  EXPECT_EQ(fakes.screenSaver.calls[1], (QStringList{"UnInhibit", "42"}));
  EXPECT_EQ(fakes.login.calls.size(), 1u);
}

TEST(SleepInhibitor, LocksThatArriveAfterTheReleaseAreGivenBackAtOnce) {
  FakeServices fakes;
  qt::QtDesktopSession desktop;
  desktop.inhibitSleep(kReason.toStdString());
  desktop.releaseSleep();  // before any reply
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return fakes.login.calls.size() == 1 && !fakes.login.lockHeld() && fakes.screenSaver.calls.size() == 2;
  }));
  EXPECT_EQ(fakes.screenSaver.calls[1], (QStringList{"UnInhibit", "42"}));
}

TEST(SleepInhibitor, AMoveOfTheWindowHoldsTheLocksWhileItExecutes) {
  FakeServices fakes;
  qt::QtDesktopSession desktop;
  qt::QtEventPump events;
  test::Rig rig{{.realTime = true, .events = &events}};
  rig.platform.desktop = &desktop;
  Form_Principal& form = rig.form();
  rig.connect();
  rig.steady.sleepMs(1600);  // past the board's reset wait
  bool heldDuringTheMove = false;
  fakes.login.onCall = [&] { heldDuringTheMove = form.En_Marcha; };
  form.hscVelocidad.setValue(20);
  form.Text9.setText("20");
  form.Mover.click();
  EXPECT_TRUE(heldDuringTheMove);
  EXPECT_EQ(rig.line(), "p" "abcdabcdabcdabcdabcd" "p") << "the bytes are those of any move";
  EXPECT_TRUE(QTest::qWaitFor([&] { return !fakes.login.lockHeld() && fakes.screenSaver.calls.size() == 2; }));
}

}  // namespace
}  // namespace velmira
