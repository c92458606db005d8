// The shutter key on a Wayland session goes through the desktop portal:
// the exact calls, the keysyms pressed then released per frame, and runs
// that stop without counting a photo when the portal cannot deliver.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>

#include "qt/qt_platform.h"
#include "qt/session_keys.h"
#include "tests/dbus/fake_services.h"
#include "tests/support/fake_platform.h"

namespace velmira {
namespace {

using test::FakeServices;
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

// Event passes that let the bus's messages in, and do what a test asks at
// a given pass.
class Passes : public platform::EventPump {
 public:
  void doEvents() override {
    ++count;
    if (actions.count(count)) actions[count]();
    pump.doEvents();
  }
  int count = 0;
  std::map<int, std::function<void()>> actions;
  qt::QtEventPump pump;
};

// A connected window whose key shots go through the portal of the private
// bus; a Wayland session with the portal and without X.
struct PortalRig {
  explicit PortalRig(const std::string& tokenFile)
      : keys({true, true, false}, QDBusConnection::sessionBus(), tokenFile) {}
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
  void run(int keyIndex, const char* frames = "2") {
    Form_Principal& f = form();
    f.Combo1.setListIndex(keyIndex);
    f.Text4.setText(frames);
    f.Text3.setText("1");
    f.Text10.setText("0");
    f.Text5.setText("0");
    f.Nfotos.setText("0");
    f.B_Procesar.click();
  }
  qt::SessionKeySynth keys;
  Passes passes;
  test::Rig rig{{.events = &passes, .keys = &keys}};

 private:
  bool connected_ = false;
};

TEST(PortalKeys, ATwoFrameRunPressesThenReleasesItsKeyPerFrame) {
  QTemporaryDir state;
  const std::string token = state.filePath("portal-teclado").toStdString();
  struct Case { int index; const char* keysym; };
  for (const Case& c : {Case{0, "ffc3"}, Case{6, "ffc9"}}) {  // F6, F12
    FakeServices fakes;
    PortalRig r(token);
    r.form();  // connecting in key mode asks the portal at once
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.portal.calls.size() >= 3; }))
        << ::testing::PrintToString(fakes.portal.calls);
    r.run(c.index);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fakes.portal.calls.size() >= 7; }));
    const std::string press = std::string("key ") + c.keysym + " 1", release = std::string("key ") + c.keysym + " 0";
    const std::string restore = c.index == 0 ? "" : "token-1";  // the second program run restores the first
    EXPECT_EQ(fakes.portal.calls, (Strings{"CreateSession", "SelectDevices types=1 persist=2 restore=" + restore,
                                           "Start", press, release, press, release}));
    EXPECT_EQ(r.form().Nfotos.text(), "2");
    EXPECT_TRUE(r.rig.messages.texts().empty());
  }
}

TEST(PortalKeys, ARunStopsWithoutCountingWhenThePortalCannotDeliver) {
  struct Case {
    const char* what;
    std::function<void(FakeServices&, PortalRig&)> arrange;
    const char* photos;
    const char* cause;
  };
  const Case cases[] = {
      {"the user refused", [](FakeServices& f, PortalRig&) { f.portal.refuse = true; }, "0",
       "no se ha dado permiso para enviar la tecla"},
      {"the portal vanished after the first frame",
       [](FakeServices& f, PortalRig& r) {
         r.passes.actions[3] = [&f, &r] {
           f.portalVanishes();
           // Until the key path has heard of it; the next frame's key must fail.
           EXPECT_TRUE(QTest::qWaitFor([&r] { return r.keys.unavailableReason().has_value(); }));
         };
       },
       "1", "el portal de escritorio ha dejado de funcionar"},
      {"the session ended after the first frame",
       [](FakeServices& f, PortalRig& r) {
         r.passes.actions[3] = [&f, &r] {
           f.portal.closeSession();
           // Until the key path has heard of it; the next frame's key must fail.
           EXPECT_TRUE(QTest::qWaitFor([&r] { return r.keys.unavailableReason().has_value(); }));
         };
       },
       "1", "la sesión del portal de escritorio ha terminado"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir state;
    FakeServices fakes;
    PortalRig r(state.filePath("portal-teclado").toStdString());
    c.arrange(fakes, r);
    r.run(2);
    EXPECT_EQ(r.rig.messages.texts(), (Strings{std::string("No se puede enviar la tecla de disparo: ") + c.cause}));
    EXPECT_EQ(r.form().Nfotos.text(), c.photos);
    EXPECT_EQ(r.form().Parada, 1.0f);
  }
}

}  // namespace
}  // namespace velmira
