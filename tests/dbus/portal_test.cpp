// The shutter key on a Wayland session goes through the desktop portal: the
// real frontend with the recording backend, and what it saw of each run of
// the program's key path (prepared at the run's start, then a press and a
// release of F8, 65477 = 0xFFC5, per photo); the permission kept or asked
// again, and the X path where the portal has no keyboard.  What the window
// does with a key path that fails is in the scenarios ("keypath").
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "qt/session_keys.h"
#include "tests/dbus/bus.h"

namespace velmira {
namespace {

using test::RealPortal;
using test::Strings;

TEST(KeyPath, IsChosenFromTheSession) {
  const std::tuple<qt::SessionFacts, qt::KeyPath, bool, bool> cases[] = {
      // wayland, portal, X: the path, a caveat, a reason
      {{false, false, true}, qt::KeyPath::XTest, false, false}, {{false, true, true}, qt::KeyPath::XTest, false, false},
      {{true, true, true}, qt::KeyPath::Portal, false, false},  {{true, true, false}, qt::KeyPath::Portal, false, false},
      {{true, false, true}, qt::KeyPath::XTest, true, false},   {{true, false, false}, qt::KeyPath::None, false, true},
  };
  for (const auto& [facts, path, caveat, reason] : cases) {
    const qt::KeyChoice k = qt::chooseKeyPath(facts);
    EXPECT_EQ(k.path, path) << facts.wayland << facts.portal << facts.xDisplay;
    EXPECT_EQ(k.caveat.has_value(), caveat) << facts.wayland << facts.portal << facts.xDisplay;
    EXPECT_EQ(k.reason.has_value(), reason) << facts.wayland << facts.portal << facts.xDisplay;
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
