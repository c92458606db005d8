// A stack run followed from across the room: the dock's progress and the
// desktop notifications of a finished, an aborted and a failed run, with
// the end time worked out from the run's values on the virtual clock.
#include <gtest/gtest.h>

#include <QTest>
#include <functional>

#include "qt/desktop_session.h"
#include "qt/qt_platform.h"
#include "tests/dbus/fake_services.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using test::FakeServices;
using Strings = std::vector<std::string>;

TEST(RunProgress, TheDockAndTheNotificationsFollowTheRun) {
  // 2 frames of T.A.F. 1800 s, one actuation (1 s), T.P.F. 0, 2 steps of
  // 500 ms: 1802 s a frame, 3604 s the run, ending at 11:00 when it starts
  // at 10:00.  An abort during the second frame's T.A.F. still lets that
  // frame take its photo.
  struct Case {
    const char* what;
    std::function<void(test::Rig&, Form_Principal&)> arrange;
    Strings dock;
    QString summary, body;
  };
  const Case cases[] = {
      {"finished", [](test::Rig&, Form_Principal&) {}, {"progress=0 count=2", "progress=0.5 count=1", "progress=1 count=0", "hidden"},
       "Pila de fotos terminada", "2 fotos en 1 h 0 min."},
      {"aborted in the second frame",
       [](test::Rig& r, Form_Principal& g) { r.events.at(r.clock.nowMs() + 2000 * 1000, [&g] { g.AbortarP.click(); }); },
       {"progress=0 count=2", "progress=0.5 count=1", "hidden"}, "Pila de fotos detenida",
       "Detenida en el fotograma 2 de 2: se paró el proceso. 2 fotos en 1 h 0 min."},
      {"link failure in the first frame",
       [](test::Rig& r, Form_Principal&) { r.serial.vanishAfterBytes = static_cast<int>(r.line().size()) + 2; },
       {"progress=0 count=2", "hidden"}, "Pila de fotos detenida",
       "Detenida en el fotograma 1 de 2: fallo del enlace con el controlador. 1 foto en 30 min 1 s."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeServices fakes;
    qt::QtDesktopSession desktop;
    desktop.wallClock = [] { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); };
    test::Rig rig;
    rig.platform.desktop = &desktop;  // the fakes, but the desktop over the private bus
    Form_Principal& g = rig.connectedPastReset();
    test::controllerShot(g);
    g.hscVelocidad.setValue(500);
    test::runFields(g, "2", "2", "1800", "0");
    c.arrange(rig, g);
    g.B_Procesar.click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.notifications.notes.size() == 2 && fakes.dock.updates.size() == c.dock.size(); }))
        << fakes.notifications.notes.size() << " " << ::testing::PrintToString(fakes.dock.updates);
    const auto& start = fakes.notifications.notes[0];
    const auto& end = fakes.notifications.notes[1];
    EXPECT_EQ(start.summary, "Pila de fotos en marcha");
    EXPECT_EQ(start.body.toStdString(), "2 fotos en 2 fotogramas. Terminará hacia las 11:00 (dentro de 1 h 0 min).");
    EXPECT_EQ(start.app, "Velmira");
    EXPECT_EQ(start.icon, "velmira");
    EXPECT_EQ(start.hints.value("desktop-entry").toString(), "velmira");
    EXPECT_EQ(end.summary, c.summary);
    EXPECT_EQ(end.body.toStdString(), c.body.toStdString());
    EXPECT_EQ(end.replaces, 7u) << "the end replaces the start's notification";
    EXPECT_EQ(fakes.dock.updates, c.dock);
    EXPECT_EQ(fakes.dock.app, "application://velmira.desktop");
  }
}

TEST(RunProgress, DurationsReadAsAPersonSaysThem) {
  struct Case { int64_t ms; const char* text; };
  for (const Case& c : {Case{0, "0 s"}, Case{12'400, "12 s"}, Case{270'000, "4 min 30 s"},
                        Case{3'569'000, "59 min 29 s"}, Case{3'600'000, "1 h 0 min"}, Case{3'930'000, "1 h 6 min"},
                        Case{7'199'000, "2 h 0 min"}})
    EXPECT_EQ(qt::QtDesktopSession::duration(c.ms).toStdString(), c.text) << c.ms;
}

}  // namespace
}  // namespace velmira
