// A click, a key or the close box used during a wait is handled at the
// first event pass after that wait: the bytes on the line show exactly
// when.  The input goes through the X server (XTest, a window manager's
// close message) from another connection, while the window's thread is in
// the middle of a move or a stack run against the simulated rail on a
// pseudo-terminal.  The waits are seconds long and the input lands in their
// middle, so a loaded machine does not move it into another wait.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <string>
#include <thread>

#include "qt/handler_call.h"
#include "tests/support/real_window_rig.h"

// Xlib's macros (KeyPress, None, Bool ...) come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velmira {
namespace {

// The window connected to a simulated rail, exposed on the X display.
struct XWindowRig : test::RealWindowRig<> {
  XWindowRig() : RealWindowRig("velmira-sim-x11") {
    EXPECT_TRUE(connected());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  // The bytes since `from` once the handler has returned: everything it
  // sent is in the terminal by then, so a byte written after it (or the
  // port's close) marks the end of what the rail has to read.
  std::string lineSince(size_t from) {
    if (form.MSComm_Puerto_Serie.isOpen()) {
      form.MSComm_Puerto_Serie.write("z");
      EXPECT_TRUE(test::pollUntil([&] { return rail.bytes().find('z', from) != std::string::npos; }, 5000));
      return rail.bytes().substr(from, rail.bytes().find('z', from) - from);
    }
    EXPECT_TRUE(test::pollUntil([&] { return rail.allEvents().back().kind == sim::Kind::PortClose; }, 5000))
        << "the port was closed";
    return rail.bytes().substr(from);
  }
  QPoint centreOf(const std::string& control) {
    QWidget* w = view.widgetFor(control);
    return w->mapToGlobal(w->rect().center());
  }
};

enum class Input { Click, SpaceKey, CloseBox };

// Input made by "the user" through the X server `afterMs` from now, from a
// thread of its own while the window's thread is busy.  The window waits on
// the system's clock here, as the program does (that wait is what is under
// test), so the input is timed on it too: a real sleep, seconds short of
// the end of the wait it must land in.
class LaterInput {
 public:
  LaterInput(Input input, QPoint at, unsigned long window, int afterMs)
      : thread_([=] {
          Display* d = XOpenDisplay(nullptr);
          if (!d) return;
          XTestFakeMotionEvent(d, -1, at.x(), at.y(), CurrentTime);
          XSync(d, False);
          std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
          if (input == Input::Click) {
            XTestFakeButtonEvent(d, 1, True, CurrentTime);
            XTestFakeButtonEvent(d, 1, False, CurrentTime);
          } else if (input == Input::SpaceKey) {
            const KeyCode space = XKeysymToKeycode(d, XK_space);
            XTestFakeKeyEvent(d, space, True, CurrentTime);
            XTestFakeKeyEvent(d, space, False, CurrentTime);
          } else {
            // What a window manager sends when the close box is clicked.
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = window;
            e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
            e.xclient.format = 32;
            e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, window, False, NoEventMask, &e);
          }
          XSync(d, False);
          XCloseDisplay(d);
        }) {}
  ~LaterInput() { thread_.join(); }

 private:
  std::thread thread_;
};

struct WaitCase {
  const char* name;
  const char* target;  // the control clicked (or focused for the key)
  Input input;
  int afterMs;
  const char* line;  // what the line reads after the connect's "p"
  bool move = false;  // a positioning move of 20 steps at 1000 ms
  // A stack run of 2 frames of 3 steps, speed 300:
  int disparo = 1;       // shutter mode
  bool espejo = false;   // mirror lock-up (else one controller actuation)
  const char* taf = "0";
  const char* tpf = "0";
};

void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.name; }

class WaitInput : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitInput, IsHandledAtTheFirstEventPassAfterTheWait) {
  const WaitCase& c = GetParam();
  XWindowRig r;
  Form_Principal& f = r.form;
  if (c.move) {
    f.hscVelocidad.setValue(1000);
    f.Text9.setText("20");
  } else {
    f.hscVelocidad.setValue(300);
    f.Disparo.setListIndex(c.disparo);
    // Without mirror lock-up: the mirror box cleared, one actuation a photo.
    if (!c.espejo) f.CheckEsp.click();
    f.temEsp.setText("0");
    f.Check1.setValue(1);
    f.Text4.setText("2");
    f.Text3.setText("3");
    f.Text10.setText(c.taf);
    f.Text5.setText(c.tpf);
  }
  if (c.input == Input::SpaceKey) {
    QApplication::setActiveWindow(&r.view);
    r.view.widgetFor(c.target)->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
  }
  const size_t from = r.rail.bytes().size();
  {
    LaterInput input(c.input, r.centreOf(c.target), r.view.winId(), c.afterMs);
    qt::runHandler(f, [&] { (c.move ? f.Mover : f.B_Procesar).click(); });
  }
  EXPECT_EQ(r.lineSince(from), c.line);
  if (c.input == Input::CloseBox) {
    EXPECT_EQ(r.base.process.ended, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    RealWindow, WaitInput,
    ::testing::Values(
        // Abort 0.8 s into a 2 s T.P.F. wait: the pass after it stops the
        // frame before its first step.
        WaitCase{"AbortDuringThePauseAfterThePhoto", "AbortarP", Input::Click, 1800, "rsppp", false, 1, false, "0",
                 "2"},
        // Stop during the first hold of a mirror lock-up shot: handled at
        // the pass after the mirror delay; the photo's actuation follows.
        WaitCase{"StopDuringTheMirrorHold", "Parar", Input::Click, 500, "rsprspp", false, 1, true},
        // Abort 1 s into a 2 s T.A.F. wait: handled right after it, and the
        // frame's photo is still taken.
        WaitCase{"AbortDuringThePauseBeforeThePhoto", "AbortarP", Input::Click, 1000, "prspp", false, 1, false, "2"},
        // Stop in the middle of the second step's wait of a move.
        WaitCase{"StopDuringAStepsWait", "Parar", Input::Click, 1500, "abpp", true},
        // The same with the keyboard: Space on the focused stop button.
        WaitCase{"SpaceOnTheStopButtonDuringAStepsWait", "Parar", Input::SpaceKey, 1500, "abpp", true},
        // The close box during a step's wait ends the program at the pass
        // after that step, with the motor switched off: no third letter.
        WaitCase{"CloseBoxDuringAStepsWait", "Parar", Input::CloseBox, 1500, "abp", true}),
    [](const ::testing::TestParamInfo<WaitCase>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace velmira
