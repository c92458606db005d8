// Function keys through the X Test extension reach the window that has the
// keyboard focus: exactly one press and one release per shot.
#include "qt/xtest_key_synth.h"

#include "tests/support/fake_platform.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>
#include <vector>

// Xlib's macros (KeyPress, None, Bool ...) come last.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace velmira {
namespace {

struct KeyEvents {
  int presses = 0, releases = 0;
  std::vector<KeySym> syms;
};

// Reads key events until `count` arrived, for at most `rounds` polls of
// 10 ms (3 s by default).
KeyEvents readKeys(Display* d, size_t count, int rounds = 300) {
  KeyEvents seen;
  const int fd = ConnectionNumber(d);
  for (; seen.syms.size() < count && rounds > 0; --rounds) {
    if (!XPending(d)) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 10);
      continue;
    }
    XEvent e;
    XNextEvent(d, &e);
    if (e.type != KeyPress && e.type != KeyRelease) continue;
    (e.type == KeyPress ? seen.presses : seen.releases)++;
    seen.syms.push_back(XLookupKeysym(&e.xkey, 0));
  }
  return seen;
}

// A window of the test's own, mapped and given the keyboard focus.
Window focusedWindow(Display* d) {
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 60, 40, 0, 0, 0);
  XSelectInput(d, w, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  XMapWindow(d, w);
  XEvent e;
  do XWindowEvent(d, w, StructureNotifyMask, &e);
  while (e.type != MapNotify);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XSync(d, False);
  return w;
}

TEST(XTestKeySynth, TheFocusedWindowGetsOnePressAndOneReleaseOfF8) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "the key synthesis tests need an X display (run them under Xvfb)";
  const Window w = focusedWindow(d);

  qt::XTestKeySynth keys;
  EXPECT_EQ(keys.unavailableReason(), std::nullopt);
  keys.keyEvent(119, 0, 0, 0);  // F8 down
  keys.keyEvent(119, 0, 2, 0);  // F8 up
  KeyEvents seen = readKeys(d, 2);
  EXPECT_EQ(seen.presses, 1);
  EXPECT_EQ(seen.releases, 1);
  EXPECT_EQ(seen.syms, (std::vector<KeySym>{XK_F8, XK_F8}));
  XSync(d, False);
  EXPECT_EQ(readKeys(d, 1, 20).syms.size(), 0u) << "nothing more";

  keys.keyEvent(123, 0, 0, 0);
  keys.keyEvent(123, 0, 2, 0);
  EXPECT_EQ(readKeys(d, 2).syms, (std::vector<KeySym>{XK_F12, XK_F12}));
  XDestroyWindow(d, w);
  XCloseDisplay(d);
}

TEST(XTestKeySynth, AStackRunInKeyModePressesF8OncePerFrame) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "the key synthesis tests need an X display (run them under Xvfb)";
  const Window w = focusedWindow(d);

  test::Rig rig;
  qt::XTestKeySynth keys;
  platform::Platform p{rig.serial, rig.devices, keys,          rig.clock,    rig.events,
                       rig.messages, rig.files, rig.pictures, rig.instance, rig.process};
  Form_Principal f(p);
  rig.devices.names = {"Arduino (COM3)"};
  f.BuscarPuerto_Click();
  f.ComboBoxCOM.setListIndex(0);
  f.Command_CONECTAR.click();
  f.Disparo.setListIndex(0);  // "Programa(Tecla)"
  f.Combo1.setListIndex(2);   // F8
  f.Text4.setText("2");
  f.Text3.setText("1");
  f.Text10.setText("0");
  f.Text5.setText("0");
  f.B_Procesar.click();

  EXPECT_EQ(f.Nfotos.text(), "2");
  EXPECT_TRUE(rig.messages.shown.empty());
  KeyEvents seen = readKeys(d, 4);
  EXPECT_EQ(seen.presses, 2);
  EXPECT_EQ(seen.releases, 2);
  EXPECT_EQ(seen.syms, (std::vector<KeySym>{XK_F8, XK_F8, XK_F8, XK_F8}));
  XSync(d, False);
  EXPECT_EQ(readKeys(d, 1, 20).syms.size(), 0u) << "nothing more";
  XDestroyWindow(d, w);
  XCloseDisplay(d);
}

TEST(XTestKeySynth, VirtualKeysF6ToF12MapToTheirKeysAndNothingElse) {
  struct Case { uint8_t vk; unsigned long sym; };
  const Case cases[] = {{117, XK_F6}, {118, XK_F7}, {119, XK_F8}, {120, XK_F9}, {121, XK_F10},
                        {122, XK_F11}, {123, XK_F12}, {116, 0},   {124, 0},     {13, 0}};
  for (const Case& c : cases) EXPECT_EQ(qt::XTestKeySynth::keySymFor(c.vk), c.sym) << int(c.vk);
}

TEST(XTestKeySynth, WithoutADisplayItSaysWhyInSpanish) {
  qt::XTestKeySynth missing(":4242");
  const std::optional<std::string> why = missing.unavailableReason();
  ASSERT_TRUE(why.has_value());
  EXPECT_NE(why->find(":4242"), std::string::npos) << *why;
  EXPECT_NE(why->find("tecla de disparo"), std::string::npos) << *why;
  missing.keyEvent(119, 0, 0, 0);  // sends nothing, does not fail

  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  qt::XTestKeySynth none;
  const std::optional<std::string> noDisplay = none.unavailableReason();
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
  ASSERT_TRUE(noDisplay.has_value());
  EXPECT_NE(noDisplay->find("DISPLAY"), std::string::npos) << *noDisplay;
  EXPECT_NE(noDisplay->find("Wayland"), std::string::npos) << *noDisplay;
}

}  // namespace
}  // namespace velmira
