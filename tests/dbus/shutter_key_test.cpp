// The shutter key on a Wayland session goes through the desktop portal,
// the real frontend with a recording backend behind it: the calls in the
// order the desktop gets them, the permission kept or asked again, and
// the X path where the portal has no keyboard.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>

#include "qt/qt_platform.h"
#include "qt/session_keys.h"
#include "tests/dbus/fake_services.h"
#include "tests/dbus/real_portal.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using test::PortalSetup;
using test::RealPortal;
using Strings = std::vector<std::string>;

TEST(KeyPath, IsChosenFromTheSession) {
  struct Case { const char* what; qt::SessionFacts facts; qt::KeyPath path; bool caveat; bool reason; };
  const Case cases[] = {
      {"X11 session", {false, false, true}, qt::KeyPath::XTest, false, false},
      {"X11 session, a portal too", {false, true, true}, qt::KeyPath::XTest, false, false},
      {"Wayland with the portal", {true, true, true}, qt::KeyPath::Portal, false, false},
      {"Wayland with the portal, no X", {true, true, false}, qt::KeyPath::Portal, false, false},
      {"Wayland without the portal", {true, false, true}, qt::KeyPath::XTest, true, false},
      {"Wayland, neither portal nor X", {true, false, false}, qt::KeyPath::None, false, true},
  };
  for (const Case& c : cases) {
    const qt::KeyChoice k = qt::chooseKeyPath(c.facts);
    EXPECT_EQ(k.path, c.path) << c.what;
    EXPECT_EQ(k.caveat.has_value(), c.caveat) << c.what;
    EXPECT_EQ(k.reason.has_value(), c.reason) << c.what;
  }
  EXPECT_NE(qt::chooseKeyPath({true, false, true}).caveat->find("X11 (XWayland)"), std::string::npos);
}

// Event passes that wait until a condition holds, as a frame's real pauses
// let the desktop catch up; after one wait in vain, no more.
class Paced : public platform::EventPump {
 public:
  void doEvents() override {
    pump.doEvents();
    if (until && !QTest::qWaitFor(until, 2000)) until = nullptr;
  }
  std::function<bool()> until;
  qt::QtEventPump pump;
};

// A connected window whose key shots go through the portal of the private
// bus; a Wayland session without X unless told otherwise.
struct PortalRig {
  explicit PortalRig(const std::string& tokenFile, bool xDisplay = false)
      : keys(true, xDisplay, QDBusConnection::sessionBus(), tokenFile) {}
  Form_Principal& form() {
    if (!connected_) {
      connected_ = true;
      rig.form().Form_Load();
      rig.form().Disparo.setListIndex(0);
      rig.connectedPastReset();
      rig.messages.shown.clear();  // start-up's boxes about the picture and the slot
    }
    return rig.form();
  }
  void run(const char* frames = "2") {
    Form_Principal& f = form();
    f.Combo1.setListIndex(2);  // F8
    f.Text4.setText(frames);
    f.Text3.setText("1");
    f.Text10.setText("0");
    f.Text5.setText("0");
    f.B_Procesar.click();
  }
  qt::SessionKeySynth keys;
  Paced events;
  test::Rig rig{{.events = &events, .keys = &keys}};

 private:
  bool connected_ = false;
};

const std::string kPress = "key ffc5 1", kRelease = "key ffc5 0";
const std::string kAsked = "SelectDevices types=1 persist=0 restore=";

// Waits until the backend has seen `count` calls.
Strings callsOnceThere(RealPortal& portal, size_t count) {
  EXPECT_TRUE(QTest::qWaitFor([&] { return portal.backend.calls().size() >= count; }))
      << ::testing::PrintToString(portal.backend.calls());
  return portal.backend.calls();
}

TEST(PortalKeys, EachReleaseReachesTheDesktopAfterItsPress) {
  // The frontend serves each call on a thread of its own: a release sent
  // before its press was answered overtakes it now and then.
  QTemporaryDir state;
  RealPortal portal;
  PortalRig r(state.filePath("portal-teclado").toStdString());
  constexpr int kShots = 1000;
  r.events.until = [&] { return portal.backend.calls().size() >= 3 + 2 * std::stoul(r.form().Nfotos.text()); };
  r.run(std::to_string(kShots).c_str());
  const Strings calls = callsOnceThere(portal, 3 + 2 * kShots);
  ASSERT_EQ(calls.size(), 3u + 2 * kShots);
  EXPECT_EQ(Strings(calls.begin(), calls.begin() + 3), (Strings{"CreateSession", kAsked, "Start"}));
  for (int i = 0; i < kShots; ++i) {
    ASSERT_EQ(calls[3 + 2 * i], kPress) << "shot " << i + 1;
    ASSERT_EQ(calls[4 + 2 * i], kRelease) << "shot " << i + 1;
  }
  EXPECT_EQ(r.form().Nfotos.text(), std::to_string(kShots));
  EXPECT_TRUE(r.rig.messages.texts().empty());
}

TEST(PortalKeys, APortalWithoutAKeyboardLeavesTheKeyToXWayland) {
  for (const PortalSetup& setup : {PortalSetup{.remoteDesktop = false}, PortalSetup{.devices = 2}}) {
    SCOPED_TRACE(setup.remoteDesktop ? "a pointer only" : "no remote desktop");
    RealPortal portal(setup);
    QTemporaryDir state;
    PortalRig withX(state.filePath("portal-teclado").toStdString(), true);
    EXPECT_EQ(withX.keys.path(), qt::KeyPath::XTest);
    EXPECT_NE(withX.keys.caveat().value_or("").find("X11 (XWayland)"), std::string::npos);
    PortalRig withoutX(state.filePath("portal-teclado").toStdString(), false);
    EXPECT_EQ(withoutX.keys.unavailableReason(),
              "la sesión Wayland no tiene un portal de escritorio que pueda enviar teclas ni pantalla X");
    EXPECT_TRUE(portal.backend.calls().empty());
  }
}

TEST(PortalKeys, AFailedPermissionIsAskedForAgainByTheNextRun) {
  struct Case {
    const char* what;
    std::function<void(RealPortal&, PortalRig&)> fail;
    const char* photos;  // after the failed run
  };
  // A run with the key, then the portal loses it, and the window hears of it.
  const auto afterARun = [](std::function<void(RealPortal&)> loss) {
    return [loss](RealPortal& p, PortalRig& r) {
      r.run("1");
      loss(p);
      EXPECT_TRUE(QTest::qWaitFor([&r] { return r.keys.unavailableReason().has_value(); }));
    };
  };
  const Case cases[] = {
      {"the user pressed Cancel",
       [](RealPortal& p, PortalRig& r) {
         p.backend.refuse = true;
         r.run("1");
         EXPECT_EQ(r.rig.messages.texts(),
                   (Strings{"No se puede enviar la tecla de disparo: no se ha dado permiso para enviar la tecla"}));
         p.backend.refuse = false;
       },
       "0"},
      {"the desktop ended the session", afterARun([](RealPortal& p) { p.backend.closeSession(); }), "1"},
      {"the portal restarted", afterARun([](RealPortal& p) { p.restart(); }), "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir state;
    RealPortal portal;
    PortalRig r(state.filePath("portal-teclado").toStdString());
    c.fail(portal, r);
    EXPECT_EQ(r.form().Nfotos.text(), c.photos);
    r.rig.messages.shown.clear();
    const Strings before = portal.backend.calls();
    r.run("1");
    const Strings calls = callsOnceThere(portal, before.size() + 5);
    EXPECT_EQ(Strings(calls.begin() + before.size(), calls.end()),
              (Strings{"CreateSession", kAsked, "Start", kPress, kRelease}));
    EXPECT_TRUE(r.rig.messages.texts().empty()) << ::testing::PrintToString(r.rig.messages.texts());
  }
}

TEST(PortalKeys, OnlyAVersion2PortalKeepsThePermissionInAFileOfTheUsersOwn) {
  // No version 2 frontend on Debian 12: the fake portal is one.
  test::FakeServices fakes;
  QTemporaryDir state;
  const std::string token = state.filePath("velmira/portal-teclado").toStdString();
  const auto twoProgramRuns = [&] {
    fakes.portal.calls.clear();
    for (int programRun = 0; programRun < 2; ++programRun) {
      qt::SessionKeySynth keys(true, false, QDBusConnection::sessionBus(), token);
      keys.prepare();
      EXPECT_EQ(keys.unavailableReason(), std::nullopt);
      EXPECT_EQ(keys.notice(), std::nullopt);
    }
    return fakes.portal.calls;
  };
  fakes.portal.portalVersion = 1;
  EXPECT_EQ(twoProgramRuns(), (Strings{"CreateSession", kAsked, "Start", "CreateSession", kAsked, "Start"}));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(token)));
  fakes.portal.portalVersion = 2;
  const std::string kept = "SelectDevices types=1 persist=2 restore=";
  EXPECT_EQ(twoProgramRuns(), (Strings{"CreateSession", kept, "Start", "CreateSession", kept + "token-1", "Start"}));
  struct stat file {};
  ASSERT_EQ(stat(token.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  // A token that cannot be written is said, and the keys go on.
  QFile(state.filePath("lleno")).open(QIODevice::WriteOnly);
  const std::string unwritable = state.filePath("lleno/portal-teclado").toStdString();
  qt::SessionKeySynth keys(true, false, QDBusConnection::sessionBus(), unwritable);
  EXPECT_EQ(keys.unavailableReason(), std::nullopt);
  EXPECT_EQ(keys.notice(), "No se ha podido guardar el permiso del teclado en " + unwritable +
                               ": el escritorio volverá a pedirlo la próxima vez que se abra Velmira.");
}

}  // namespace
}  // namespace velmira
