// A stack fused in the background after its run: the dock's bar, the
// notification that opens the picture, the record; missing tools said at
// once.  The tools are stand-ins; the desktop is fake services on a
// private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <fstream>

#include "platform/steady_clock.h"
#include "qt/stack_fusion.h"
#include "tests/dbus/fake_services.h"
#include "tests/support/fake_processes.h"
#include "tests/support/focus_bracket.h"

namespace velmira {
namespace {

TEST(StackFusion, InTheBackgroundWithTheDocksBarANotificationThatOpensThePictureAndTheRecord) {
  test::FakeServices fakes;
  test::FakeProcesses tools;
  tools.answers["enfuse"] = {{{"enfuse: info: loading next image: a 1/1"}, 0, true, {}}};
  platform::SteadyClock clock;
  test::ScratchFolder dir;
  for (const char* name : {"foto-0001.jpg", "foto-0002.jpg"})
    test::writeJpeg(dir / name, {8, 8, std::vector<uint8_t>(8 * 8 * 3, 100)}, 90);
  std::ofstream(dir / "pila.json") << "{\n  \"fin\": \"terminada\"\n}\n";
  std::vector<QString> opened;
  std::vector<stacking::Ending> endings;
  {
    qt::QtStackFusion fusion(tools, clock);
    fusion.open = [&](const QString& path) { opened.push_back(path); };
    fusion.ended = [&](const std::string&, const stacking::Outcome& o) { endings.push_back(o.ending); };
    ASSERT_FALSE(fusion.fuse(dir.path()));
    EXPECT_TRUE(fusion.fusing());  // returned at once
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.notifications.notes.size() == 1; }, 10000));
    const auto& note = fakes.notifications.notes[0];
    EXPECT_EQ(note.summary, "Foto apilada lista");
    EXPECT_TRUE(note.body.startsWith(QString::fromStdString(dir / "apilada.jpg (2 fotos en ")));
    EXPECT_EQ(note.actions, (QStringList{"default", "Abrir"}));
    EXPECT_EQ(endings, std::vector<stacking::Ending>{stacking::Ending::Done});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fakes.dock.updates.empty() && fakes.dock.updates.back() == "hidden"; }));
    EXPECT_EQ(fakes.dock.updates.front(), "progress=0 count=0");
    EXPECT_GE(fakes.dock.updates.size(), 4u);  // the start, aligning, fusing, the end
    // The user clicks the notification.
    QDBusConnection::sessionBus().send(
        QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked")
        << uint(7) << QString("default"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<QString>{QString::fromStdString(dir / "apilada.jpg")});
    std::ifstream json(dir / "pila.json");
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(json), {}).find("\"apilado\": {\"resultado\": \"hecho\""),
              std::string::npos);
    // A run started meanwhile keeps the dock: a fusion ending then hides nothing.
    bool runOnDock = true;
    fusion.runOnDock = [&] { return runOnDock; };
    const size_t dockBefore = fakes.dock.updates.size();
    ASSERT_FALSE(fusion.fuse(dir.path()));
    // A dock update would go out before the notification, on the same
    // connection to the same fakes: once the note is in, it would be too.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.notifications.notes.size() == 2; }, 10000));
    EXPECT_EQ(fakes.dock.updates.size(), dockBefore);
    tools.installed.clear();
    EXPECT_EQ(*fusion.fuse(dir.path()),
              "No se pudo apilar la foto: faltan las herramientas de apilado. Instálelas con «sudo apt install "
              "hugin-tools enfuse».");
    EXPECT_FALSE(fusion.fusing());
    std::ifstream again(dir / "pila.json");
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(again), {}).find("\"apilado\": {\"resultado\": \"fallido\""),
              std::string::npos);
  }
}

}  // namespace
}  // namespace velmira
