// Function keys through the X Test extension reach the window that has the
// keyboard focus: exactly one press and one release per shot.  (Which key a
// run presses, and when, is in tests/scenarios/shots.scn.)
#include "qt/xtest_key_synth.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <cstdlib>
#include <vector>

// Xlib's macros (KeyPress, None, Bool ...) come last.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace velmira {
namespace {

// The keys that reach `w` until `count` arrived, for at most `rounds`
// polls of 10 ms (3 s by default).
std::vector<std::string> readKeys(Display* d, size_t count, int rounds = 300) {
  std::vector<std::string> seen;
  for (; seen.size() < count && rounds > 0; --rounds) {
    if (!XPending(d)) {
      pollfd p{ConnectionNumber(d), POLLIN, 0};
      poll(&p, 1, 10);
      continue;
    }
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == KeyPress || e.type == KeyRelease)
      seen.push_back(std::string(XKeysymToString(XLookupKeysym(&e.xkey, 0))) + (e.type == KeyPress ? "-down" : "-up"));
  }
  return seen;
}

TEST(XTestKeySynth, TheFocusedWindowGetsOnePressAndOneReleaseOfTheKey) {
  Display* d = XOpenDisplay(nullptr);
  ASSERT_NE(d, nullptr) << "the key synthesis tests need an X display (run them under Xvfb)";
  // A window of the test's own, mapped and given the keyboard focus.
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 60, 40, 0, 0, 0);
  XSelectInput(d, w, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  XMapWindow(d, w);
  XEvent e;
  do XWindowEvent(d, w, StructureNotifyMask, &e);
  while (e.type != MapNotify);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XSync(d, False);

  qt::XTestKeySynth keys;
  EXPECT_EQ(keys.unavailableReason(), std::nullopt);
  for (uint8_t vk : {119, 123}) {  // F8, F12
    keys.keyEvent(vk, 0, 0, 0);  // down
    keys.keyEvent(vk, 0, 2, 0);  // up
  }
  EXPECT_EQ(readKeys(d, 4), (std::vector<std::string>{"F8-down", "F8-up", "F12-down", "F12-up"}));
  XSync(d, False);
  EXPECT_EQ(readKeys(d, 1, 20).size(), 0u) << "nothing more";
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
  struct Case { const char* display; std::vector<const char*> said; };
  const Case cases[] = {{":4242", {":4242", "tecla de disparo"}}, {nullptr, {"DISPLAY", "Wayland"}}};
  for (const Case& c : cases) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    if (!c.display) unsetenv("DISPLAY");
    qt::XTestKeySynth missing(c.display ? c.display : "");
    const std::optional<std::string> why = missing.unavailableReason();
    if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
    ASSERT_TRUE(why.has_value());
    for (const char* part : c.said) EXPECT_NE(why->find(part), std::string::npos) << *why;
    missing.keyEvent(119, 0, 0, 0);  // sends nothing, does not fail
  }
}

}  // namespace
}  // namespace velmira
