// The desktop's services as the program uses them, on the fake services of
// the private bus: what the program does, and what each service saw.  How
// the window calls on them is in the scenarios ("sleeplock", "desktop").
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <fstream>

#include "qt/desktop_session.h"
#include "qt/stack_fusion.h"
#include "tests/dbus/bus.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/focus_bracket.h"

namespace velmira {
namespace {

using test::Desktop;
using test::Strings;
using End = platform::DesktopSession::RunEnd;

const std::string kReason = "Velmira: pila de fotos en curso";

TEST(SleepLock, IsTakenFromBothServicesAndGivenBackWhenTheRepliesComeBeforeOrAfterTheRelease) {
  for (bool repliesFirst : {true, false}) {
    SCOPED_TRACE(repliesFirst ? "released after the replies" : "released before any reply");
    Desktop fakes;
    qt::QtDesktopSession desktop;
    desktop.inhibitSleep(kReason);
    if (repliesFirst) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.holdsSleepLock() && fakes.screenSaver.log().size() == 1; }));
      EXPECT_TRUE(fakes.lockHeld());
      desktop.inhibitSleep(kReason);  // held already: nothing more
    }
    desktop.releaseSleep();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return fakes.login.log().size() == 1 && !fakes.lockHeld() && fakes.screenSaver.log().size() == 2; }));
    EXPECT_EQ(fakes.login.log(), Strings{"Inhibit(sleep:idle, Velmira, " + kReason + ", block)"});
    EXPECT_EQ(fakes.screenSaver.log(), (Strings{"Inhibit(Velmira, " + kReason + ")", "UnInhibit(42)"}));
  }
}

std::string dock(double progress, int count, bool visible = true) {
  const std::string v = visible ? "true" : "false";
  return "Update(application://velmira.desktop, {count: " + std::to_string(count) + ", count-visible: " + v +
         ", progress: " + QString::number(progress).toStdString() + ", progress-visible: " + v + "})";
}

std::string note(int replaces, const std::string& summary, const std::string& body) {
  return "Notify(Velmira, " + std::to_string(replaces) + ", velmira, " + summary + ", " + body +
         ", {desktop-entry: velmira}, -1)";
}

TEST(RunOnTheDesktop, TheDockAndTheNotificationsFollowTheRun) {
  // 2 frames of 1802 s from 10:00; the notification of the end replaces
  // the start's (id 7).
  const std::string started = note(0, "Pila de fotos en marcha",
                                   "2 fotos en 2 fotogramas. Terminará hacia las 11:00 (dentro de 1 h 0 min).");
  struct Case {
    int framesDone;
    platform::DesktopSession::RunOutcome outcome;
    Strings dock;
    std::string end;
  };
  const Case cases[] = {
      {2, {End::Finished, 2, 2, 2, 3'604'000}, {dock(0, 2), dock(0.5, 1), dock(1, 0), dock(0, 0, false)},
       note(7, "Pila de fotos terminada", "2 fotos en 1 h 0 min.")},
      {1, {End::Stopped, 2, 2, 2, 3'604'000}, {dock(0, 2), dock(0.5, 1), dock(0, 0, false)},
       note(7, "Pila de fotos detenida", "Detenida en el fotograma 2 de 2: se paró el proceso. 2 fotos en 1 h 0 min.")},
      {0, {End::LinkFailed, 1, 2, 1, 1'801'000}, {dock(0, 2), dock(0, 0, false)},
       note(7, "Pila de fotos detenida",
            "Detenida en el fotograma 1 de 2: fallo del enlace con el controlador. 1 foto en 30 min 1 s.")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.end);
    Desktop fakes;
    qt::QtDesktopSession desktop;
    desktop.wallClock = [] { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); };
    desktop.runStarted({2, 2, 3'604'000});
    for (int done = 1; done <= c.framesDone; ++done) desktop.runProgress(done, 2);
    desktop.runEnded(c.outcome);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return fakes.notifications.log().size() == 2 && fakes.dock.log().size() == c.dock.size(); }));
    EXPECT_EQ(fakes.notifications.log(), (Strings{started, c.end}));
    EXPECT_EQ(fakes.dock.log(), c.dock);
  }
}

TEST(RunOnTheDesktop, DurationsReadAsAPersonSaysThem) {
  const std::pair<int64_t, const char*> cases[] = {{0, "0 s"},          {12'400, "12 s"},         {270'000, "4 min 30 s"},
                                                   {3'569'000, "59 min 29 s"}, {3'600'000, "1 h 0 min"}, {3'930'000, "1 h 6 min"},
                                                   {7'199'000, "2 h 0 min"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(qt::QtDesktopSession::duration(ms).toStdString(), text) << ms;
}

std::string record(const test::ScratchFolder& dir) {
  std::ifstream json(dir / "pila.json");
  return std::string(std::istreambuf_iterator<char>(json), {});
}

TEST(StackFusion, InTheBackgroundWithTheDocksBarANotificationThatOpensThePictureAndTheRecord) {
  // The tools are stand-ins, on a clock that stands still.
  Desktop fakes;
  test::FakeProcesses tools;
  tools.answers["enfuse"] = {{{"enfuse: info: loading next image: a 1/1"}, 0, true, {}}};
  test::Transcript transcript;
  test::VirtualClock clock(transcript);
  test::ScratchFolder dir;
  for (const char* name : {"foto-0001.jpg", "foto-0002.jpg"})
    test::writeJpeg(dir / name, {8, 8, std::vector<uint8_t>(8 * 8 * 3, 100)}, 90);
  std::ofstream(dir / "pila.json") << "{\n  \"fin\": \"terminada\"\n}\n";
  std::vector<QString> opened;
  qt::QtStackFusion fusion(tools, clock);
  fusion.open = [&](const QString& path) { opened.push_back(path); };
  ASSERT_FALSE(fusion.fuse(dir.path()));
  EXPECT_TRUE(fusion.fusing());  // returned at once
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.notifications.log().size() == 1; }, 10000));
  EXPECT_EQ(fakes.notifications.log(),
            Strings{"Notify(Velmira, 0, velmira, Foto apilada lista, " + dir / "apilada.jpg (2 fotos en 0 s)., "
                    "[default, Abrir], {desktop-entry: velmira}, -1)"});
  EXPECT_NE(record(dir).find("\"apilado\": {\"resultado\": \"hecho\""), std::string::npos);
  // The start, aligning, fusing, the end.
  const std::string bar = "Update(application://velmira.desktop, {progress: 0, progress-visible: ";
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.dock.log().size() >= 4 && fakes.dock.log().back() == bar + "false})"; }));
  EXPECT_EQ(fakes.dock.log().front(), bar + "true})");
  // The user clicks the notification.
  QDBusConnection::sessionBus().send(
      QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked")
      << 7u << QString("default"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }));
  EXPECT_EQ(opened, std::vector<QString>{QString::fromStdString(dir / "apilada.jpg")});
  // A run started meanwhile keeps the dock: a fusion ending then hides
  // nothing.  A dock update would go out before the notification, on the
  // same connection to the same fakes: once the note is in, it would be too.
  fusion.runOnDock = [] { return true; };
  const size_t dockBefore = fakes.dock.log().size();
  ASSERT_FALSE(fusion.fuse(dir.path()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.notifications.log().size() == 2; }, 10000));
  EXPECT_EQ(fakes.dock.log().size(), dockBefore);
  tools.installed.clear();
  EXPECT_EQ(*fusion.fuse(dir.path()), "No se pudo apilar la foto: faltan las herramientas de apilado. Instálelas con "
                                      "«sudo apt install hugin-tools enfuse».");
  EXPECT_FALSE(fusion.fusing());
  EXPECT_NE(record(dir).find("\"apilado\": {\"resultado\": \"fallido\""), std::string::npos);
  // While the rail steps, the tools are held.
  fusion.giveWay(true);
  fusion.giveWay(false);
  EXPECT_EQ(tools.holds, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace velmira
