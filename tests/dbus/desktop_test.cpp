// The desktop's services as the program uses them, on the private bus:
// the sleep lock, the dock and the notifications of a run and of a fusion
// on the fake services, and the shutter key on a Wayland session through
// the real portal frontend with the recording backend (prepared at the
// run's start, then a press and a release of F8, 65477 = 0xFFC5, per
// photo), the permission kept or asked again, the X path where the portal
// has no keyboard.  How the window calls on them, and what it does with a
// key path that fails, is in the scenarios ("sleeplock", "desktop",
// "keypath").
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <functional>

#include "qt/desktop_session.h"
#include "qt/session_keys.h"
#include "qt/stack_fusion.h"
#include "tests/dbus/bus.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fake_processes.h"
#include "tests/support/focus_bracket.h"

namespace velmira {
namespace {

using test::Desktop;
using test::RealPortal;
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
      {2, {End::Finished, 2, 2, 2, 3'604'000, {}, {}}, {dock(0, 2), dock(0.5, 1), dock(1, 0), dock(0, 0, false)},
       note(7, "Pila de fotos terminada", "2 fotos en 1 h 0 min.")},
      {1, {End::Stopped, 2, 2, 2, 3'604'000, {}, {}}, {dock(0, 2), dock(0.5, 1), dock(0, 0, false)},
       note(7, "Pila de fotos detenida", "Detenida en el fotograma 2 de 2: se paró el proceso. 2 fotos en 1 h 0 min.")},
      {0, {End::LinkFailed, 1, 2, 1, 1'801'000, {}, {}}, {dock(0, 2), dock(0, 0, false)},
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
  tools.answers["enfuse"] = {{{"enfuse: info: loading next image: a 1/1"}, 0, {}}};
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

// ---- The shutter key through the portal ----

TEST(KeyPath, IsChosenFromTheSession) {
  const std::tuple<qt::SessionFacts, qt::KeyPath, bool, bool> cases[] = {
      // wayland, portal, X: the path, a caveat, a reason
      {{false, false, true}, qt::KeyPath::XTest, false, false}, {{false, true, true}, qt::KeyPath::XTest, false, false},
      {{true, true, true}, qt::KeyPath::Portal, false, false},  {{true, true, false}, qt::KeyPath::Portal, false, false},
      {{true, false, true}, qt::KeyPath::XTest, true, false},   {{true, false, false}, qt::KeyPath::None, false, true},
  };
  for (const auto& [facts, path, caveat, reason] : cases) {
    const qt::KeyChoice k = qt::chooseKeyPath(facts);
    EXPECT_EQ(std::tuple(k.path, k.caveat.has_value(), k.reason.has_value()), std::tuple(path, caveat, reason))
        << facts.wayland << facts.portal << facts.xDisplay;
  }
}

// A Wayland session without X, its portal on the private bus.
struct Keys : qt::SessionKeySynth {
  explicit Keys(const QTemporaryDir& state, bool x = false, const char* token = "portal-teclado")
      : SessionKeySynth(true, x, QDBusConnection::sessionBus(), state.filePath(token).toStdString()) {}
  // A run of `photos` photos as the window makes it: why it could not, or nothing.
  std::optional<std::string> run(int photos) {
    prepare();
    if (auto why = unavailableReason()) return why;
    for (int i = 0; i < photos; ++i) keyEvent(119, 0, 0, 0), keyEvent(119, 0, 2, 0);
    return failure();
  }
};

const Strings kAsk{"CreateSession()", "SelectDevices({types: 1})", "Start()"};
const std::string kPress = "NotifyKeyboardKeysym(65477, 1)", kRelease = "NotifyKeyboardKeysym(65477, 0)";

Strings once(RealPortal& portal, size_t count) {
  EXPECT_TRUE(QTest::qWaitFor([&] { return portal.backend.log().size() >= count; }));
  return portal.backend.log();
}

TEST(PortalKeys, EachReleaseReachesTheDesktopAfterItsPress) {
  // The frontend serves each call on a thread of its own: a release sent
  // before its press was answered would overtake it now and then.
  QTemporaryDir state;
  RealPortal portal;
  Keys keys(state);
  constexpr int kShots = 1000;
  keys.prepare();
  EXPECT_EQ(keys.unavailableReason(), std::nullopt);
  Strings expected = kAsk;
  // A frame's pauses let the desktop catch up; after one wait in vain, no more.
  for (bool paced = true; expected.size() < kAsk.size() + 2 * kShots;) {
    keys.keyEvent(119, 0, 0, 0), keys.keyEvent(119, 0, 2, 0);
    expected.insert(expected.end(), {kPress, kRelease});
    if (paced) paced = QTest::qWaitFor([&] { return portal.backend.log().size() >= expected.size(); }, 2000);
  }
  EXPECT_EQ(keys.failure(), std::nullopt);
  EXPECT_EQ(once(portal, expected.size()), expected);
}

TEST(PortalKeys, APortalWithoutAKeyboardLeavesTheKeyToXWayland) {
  for (const auto& [remoteDesktop, devices] : {std::pair{false, 7u}, std::pair{true, 2u}}) {
    SCOPED_TRACE(remoteDesktop ? "a pointer only" : "no remote desktop");
    RealPortal portal(remoteDesktop, devices);
    QTemporaryDir state;
    Keys withX(state, true), withoutX(state, false);
    EXPECT_EQ(withX.path(), qt::KeyPath::XTest);
    EXPECT_NE(withX.caveat().value_or("").find("X11 (XWayland)"), std::string::npos);
    EXPECT_EQ(withoutX.unavailableReason(),
              "la sesión Wayland no tiene un portal de escritorio que pueda enviar teclas ni pantalla X");
    EXPECT_EQ(portal.backend.log(), Strings{});
  }
}

TEST(PortalKeys, APermissionLostOrRefusedIsAskedForAgainByTheNextRun) {
  QTemporaryDir state;
  RealPortal portal;
  Keys keys(state);
  const Strings oneShot{kAsk[0], kAsk[1], kAsk[2], kPress, kRelease};
  const auto lost = [&] {
    EXPECT_TRUE(QTest::qWaitFor([&] { return keys.unavailableReason().has_value(); }));
    return keys.unavailableReason();
  };
  const std::tuple<const char*, std::function<std::optional<std::string>()>, Strings> steps[] = {
      // what happens: what the key path says, what the backend saw
      {nullptr, [&] { return keys.run(1); }, oneShot},
      {"la sesión del portal de escritorio ha terminado", [&] { return portal.closeSession(), lost(); }, {}},
      {nullptr, [&] { return keys.run(1); }, oneShot},
      {"el portal de escritorio ha dejado de funcionar", [&] { return portal.restart(), lost(); }, {}},
      {"no se ha dado permiso para enviar la tecla", [&] { return portal.refuse = true, keys.run(1); }, kAsk},
      {nullptr, [&] { return portal.refuse = false, keys.run(1); }, oneShot},
  };
  size_t seen = 0;
  for (const auto& [said, act, saw] : steps) {
    SCOPED_TRACE(said ? said : "a run");
    EXPECT_EQ(act(), said ? std::optional<std::string>(said) : std::nullopt);
    const Strings all = once(portal, seen + saw.size());
    EXPECT_EQ(Strings(all.begin() + static_cast<long>(seen), all.end()), saw);
    seen = all.size();
  }
}

TEST(PortalKeys, OnlyAVersion2PortalKeepsThePermissionInAFileOfTheUsersOwn) {
  // Debian 12's frontend is version 1: the fake portal is version 2.
  test::Desktop fakes;
  QTemporaryDir state;
  const std::string token = state.filePath("velmira/portal-teclado").toStdString();
  const auto twoProgramRuns = [&] {
    const size_t before = fakes.portal.log().size();
    for (int programRun = 0; programRun < 2; ++programRun) {
      Keys keys(state, false, "velmira/portal-teclado");
      keys.prepare();
      EXPECT_EQ(keys.unavailableReason(), std::nullopt);
      EXPECT_EQ(keys.notice(), std::nullopt);
    }
    const Strings all = fakes.portal.log();
    return Strings(all.begin() + static_cast<long>(before), all.end());
  };
  fakes.portal.properties["version"] = 1u;
  EXPECT_EQ(twoProgramRuns(), (Strings{kAsk[0], kAsk[1], kAsk[2], kAsk[0], kAsk[1], kAsk[2]}));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(token)));
  fakes.portal.properties["version"] = 2u;
  const std::string keep = "SelectDevices({persist_mode: 2, types: 1})";
  EXPECT_EQ(twoProgramRuns(), (Strings{"CreateSession()", keep, "Start()", "CreateSession()",
                                       "SelectDevices({persist_mode: 2, restore_token: token-1, types: 1})", "Start()"}));
  struct stat file {};
  ASSERT_EQ(stat(token.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  // A token that cannot be written is said, and the keys go on.
  QFile(state.filePath("lleno")).open(QIODevice::WriteOnly);
  Keys keys(state, false, "lleno/portal-teclado");
  EXPECT_EQ(keys.unavailableReason(), std::nullopt);
  EXPECT_EQ(keys.notice(), "No se ha podido guardar el permiso del teclado en " +
                               state.filePath("lleno/portal-teclado").toStdString() +
                               ": el escritorio volverá a pedirlo la próxima vez que se abra Velmira.");
}

}  // namespace
}  // namespace velmira
