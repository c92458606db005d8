// The main window centred on the screen and the notes window at its right
// edge, vertically centred, by their real outer size (frame and title bar
// included), on the X display with and without a window manager.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QTest>

#include "tests/gui/window_rig.h"
#include "tests/support/poll.h"

// Xlib's macros come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velmira {
namespace {

// Openbox on the test's display, for as long as the object lives; ready
// once it frames a window: a probe window of the test's own gets its frame
// extents.
struct WindowManager {
  WindowManager() {
    if ((pid = fork()) == 0) {
      execlp("openbox", "openbox", "--sm-disable", nullptr);
      _exit(127);
    }
    Display* d = XOpenDisplay(nullptr);
    const Atom extents = XInternAtom(d, "_NET_FRAME_EXTENTS", False);
    const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 20, 20, 0, 0, 0);
    XMapWindow(d, probe);
    XSync(d, False);
    test::pollUntil(
        [&] {
          Atom type;
          int format;
          unsigned long items = 0, after;
          unsigned char* data = nullptr;
          XGetWindowProperty(d, probe, extents, 0, 4, False, XA_CARDINAL, &type, &format, &items, &after, &data);
          if (data) XFree(data);
          return items == 4;
        },
        5000);
    XDestroyWindow(d, probe);
    XCloseDisplay(d);
  }
  ~WindowManager() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  pid_t pid = -1;
};

struct PlaceCase {
  const char* name;
  bool windowManager;
  bool notes;
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class WindowPlacement : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(WindowPlacement, ByTheRealOuterSize) {
  const PlaceCase& c = GetParam();
  std::optional<WindowManager> wm;
  if (c.windowManager) wm.emplace();
  const QSize screen = QGuiApplication::primaryScreen()->size();
  test::WindowRig r;
  r.rig.process.size = {qt::twips(screen.width()), qt::twips(screen.height())};
  r.start();
  QWidget& window = c.notes ? static_cast<QWidget&>(r.notes()) : static_cast<QWidget&>(r.view());
  if (c.notes) r.form().Notas_Click();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto expected = [&] {
    const QSize outer = window.frameGeometry().size();
    return QPoint(c.notes ? screen.width() - outer.width() : (screen.width() - outer.width()) / 2,
                  (screen.height() - outer.height()) / 2);
  };
  // The window manager may still be busy with the window for a moment; the
  // assertions below say what is wrong when it never settles.
  (void)QTest::qWaitFor(
      [&] {
        return (window.frameGeometry().topLeft() - expected()).manhattanLength() <= 2 &&
               (!c.windowManager || window.frameGeometry().height() > window.height());
      },
      2000);
  const QRect frame = window.frameGeometry();
  if (c.windowManager) {
    EXPECT_GT(frame.height(), window.height()) << "framed, with a title bar";
  }
  EXPECT_NEAR(frame.x(), expected().x(), 1) << frame.width() << "x" << frame.height();
  EXPECT_NEAR(frame.y(), expected().y(), 1) << frame.width() << "x" << frame.height();
}

INSTANTIATE_TEST_SUITE_P(XDisplay, WindowPlacement,
                         ::testing::Values(PlaceCase{"MainWindowWithoutAWindowManager", false, false},
                                           PlaceCase{"NotesWindowWithoutAWindowManager", false, true},
                                           PlaceCase{"MainWindowUnderOpenbox", true, false},
                                           PlaceCase{"NotesWindowUnderOpenbox", true, true}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace velmira
