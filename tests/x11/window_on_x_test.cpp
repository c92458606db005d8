// The window on the X display itself, as a user meets it: placed by its
// real outer size with and without a window manager; a click, a key or the
// close box made through the X server during a real wait; painted in the
// waits of a move; and the first start of the installed program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "qt/handler_call.h"
#include "qt/look.h"
#include "tests/support/real_window_rig.h"

// Xlib's macros (KeyPress, None, Bool, Status ...) come last.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velmira {
namespace {

// A window's property as text (a number as its digits; "" when unset).
std::string property(Display* d, Window w, const char* name) {
  Atom type;
  int format;
  unsigned long items = 0, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1024, False, AnyPropertyType, &type, &format, &items,
                     &after, &data);
  std::string value;
  if (data && format == 8) value.assign(reinterpret_cast<char*>(data), items);
  if (data && format == 32 && items > 0) value = std::to_string(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  return value;
}

// A click of the first button at `at` (screen coordinates), through XTest.
void clickAt(Display* d, QPoint at) {
  XTestFakeMotionEvent(d, -1, at.x(), at.y(), CurrentTime);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XFlush(d);
}

// ---- Placement -----------------------------------------------------------------

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
    const Window probe = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 20, 20, 0, 0, 0);
    XMapWindow(d, probe);
    XSync(d, False);
    test::pollUntil([&] { return !property(d, probe, "_NET_FRAME_EXTENTS").empty(); }, 5000);
    XDestroyWindow(d, probe);
    XCloseDisplay(d);
  }
  ~WindowManager() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  pid_t pid = -1;
};

// The main window centred on the screen and the notes window at its right
// edge, vertically centred, by their outer size (frame and title bar
// included).
TEST(WindowPlacement, ByTheRealOuterSizeWithAndWithoutAWindowManager) {
  const QSize screen = QGuiApplication::primaryScreen()->size();
  for (bool managed : {false, true}) {
    std::optional<WindowManager> wm;
    if (managed) wm.emplace();
    test::WindowRig r;
    r.rig.process.size = {qt::twips(screen.width()), qt::twips(screen.height())};
    r.start();
    r.form().Notas_Click();
    for (QWidget* window : {static_cast<QWidget*>(&r.view()), static_cast<QWidget*>(&r.notes())}) {
      const bool notes = window == &r.notes();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
      auto expected = [&] {
        const QSize outer = window->frameGeometry().size();
        return QPoint(notes ? screen.width() - outer.width() : (screen.width() - outer.width()) / 2,
                      (screen.height() - outer.height()) / 2);
      };
      // The window manager may still be busy with the window for a moment;
      // the assertions below say what is wrong when it never settles.
      (void)QTest::qWaitFor(
          [&] {
            return (window->frameGeometry().topLeft() - expected()).manhattanLength() <= 2 &&
                   (!managed || window->frameGeometry().height() > window->height());
          },
          2000);
      const QRect frame = window->frameGeometry();
      const std::string what = std::string(notes ? "notes" : "main") + (managed ? " under openbox " : " ") +
                               std::to_string(frame.width()) + "x" + std::to_string(frame.height());
      if (managed) {
        EXPECT_GT(frame.height(), window->height()) << what << ": framed, with a title bar";
      }
      EXPECT_NEAR(frame.x(), expected().x(), 1) << what;
      EXPECT_NEAR(frame.y(), expected().y(), 1) << what;
    }
  }
}

// ---- Input during a wait ---------------------------------------------------------

// A click, a key or the close box used during a wait is handled at the
// first event pass after that wait: the bytes on the line show exactly
// when.  The input goes through the X server (XTest, a window manager's
// close message) from another connection, while the window's thread is in
// the middle of a move or a stack run against the simulated rail on a
// pseudo-terminal.  The waits are seconds long and the input lands in their
// middle, so a loaded machine does not move it into another wait.

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
            clickAt(d, at);
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
  bool espejo = false;  // mirror lock-up (else one controller actuation)
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
    f.Disparo.setListIndex(1);  // the controller's shutter
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
        WaitCase{"AbortDuringThePauseAfterThePhoto", "AbortarP", Input::Click, 1800, "rsppp", false, false, "0", "2"},
        // Stop during the first hold of a mirror lock-up shot: handled at
        // the pass after the mirror delay; the photo's actuation follows.
        WaitCase{"StopDuringTheMirrorHold", "Parar", Input::Click, 500, "rsprspp", false, true},
        // Abort 1 s into a 2 s T.A.F. wait: handled right after it, and the
        // frame's photo is still taken.
        WaitCase{"AbortDuringThePauseBeforeThePhoto", "AbortarP", Input::Click, 1000, "prspp", false, false, "2"},
        // Stop in the middle of the second step's wait of a move.
        WaitCase{"StopDuringAStepsWait", "Parar", Input::Click, 1500, "abpp", true},
        // The same with the keyboard: Space on the focused stop button.
        WaitCase{"SpaceOnTheStopButtonDuringAStepsWait", "Parar", Input::SpaceKey, 1500, "abpp", true},
        // The close box during a step's wait ends the program at the pass
        // after that step, with the motor switched off: no third letter.
        WaitCase{"CloseBoxDuringAStepsWait", "Parar", Input::CloseBox, 1500, "abp", true}),
    [](const ::testing::TestParamInfo<WaitCase>& i) { return std::string(i.param.name); });

// ---- Painting during a move --------------------------------------------------------

// Counts the changes of the shown position made inside waits and inside
// event passes.
template <class Base>
struct Watching : Base {
  template <class Call>
  void around(Call call) {
    const QString before = field ? field->text() : QString();
    call();
    if (field && field->text() != before) ++changes;
  }
  const QLineEdit* field = nullptr;
  int changes = 0;
};
struct Clock : Watching<qt::QtClock> {
  void sleepMs(int32_t ms) override { around([&] { qt::QtClock::sleepMs(ms); }); }
};
struct Pump : Watching<qt::QtEventPump> {
  void doEvents() override { around([&] { qt::QtEventPump::doEvents(); }); }
};

// During a move at speed 1 the position shows at the start of the step's
// wait, where painting takes nothing from the step; in the event pass after
// the wait it would lengthen that step.
TEST(WindowPaint, APositionShowsInTheWaitOfAStepNotInThePassAfterIt) {
  test::RealWindowRig<Clock, Pump> r("velmira-sim-paint");
  ASSERT_TRUE(r.connected());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&r.view));
  r.clock.field = r.events.field = qobject_cast<QLineEdit*>(r.view.widgetFor("Text2"));
  r.form.hscVelocidad.setValue(1);
  r.form.Text9.setText("400");
  r.form.Mover.click();
  EXPECT_GE(r.clock.changes, 10) << "a 400 ms move shows its position about 25 times";
  EXPECT_LE(r.events.changes * 4, r.clock.changes) << "shown by the step's own pass instead";
}

// ---- The first start of the installed program ------------------------------------

// The built package's files are installed into a temporary root, and its
// desktop-menu launcher is started there for a user with a fresh home.  The
// window opens at once (a message box at start-up would hold it back),
// shows the background picture that ships with it, and holds the first
// configuration slot: saved to slot 2 as it stands, it gives the shipped
// slot back byte for byte.  A picture the user deletes afterwards is not put
// back: the next start says it is missing.  Started from a terminal
// instead, the first start is the same.

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The viewable window of one process with that title (0: none yet).
Window findWindow(Display* d, Window w, pid_t pid, const std::string& title) {
  XWindowAttributes a;
  if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable &&
      property(d, w, "_NET_WM_PID") == std::to_string(pid) && property(d, w, "_NET_WM_NAME") == title)
    return w;
  Window root, parent, *children = nullptr, found = 0;
  unsigned int n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
  for (unsigned int i = 0; i < n && !found; ++i) found = findWindow(d, children[i], pid, title);
  if (children) XFree(children);
  return found;
}

class InstalledVelmira {
 public:
  InstalledVelmira() {
    const std::string install = std::string(VELMIRA_CMAKE) + " --install " + VELMIRA_BUILD_DIR + " --prefix " +
                                root_.path().toStdString() + "/usr >/dev/null";
    installed_ = std::system(install.c_str()) == 0;
    std::filesystem::create_directories(home() + "/run");
    std::filesystem::permissions(home() + "/run", std::filesystem::perms::owner_all);
  }
  bool installed() const { return installed_; }
  std::string home() const { return home_.path().toStdString(); }
  std::string userFolder() const { return home() + "/.local/share/velmira"; }
  std::string shipped(const std::string& name) const { return root_.path().toStdString() + "/usr/share/velmira/" + name; }
  // Started as the desktop menu starts it (or the program itself, as from
  // a terminal), with nothing of the test's environment but the display.
  std::unique_ptr<test::ChildProcess> start(const std::string& program = "velmira-escritorio") const {
    auto env = [](const char* name) { return std::string(name) + "=" + (std::getenv(name) ? std::getenv(name) : ""); };
    return std::make_unique<test::ChildProcess>(
        "/usr/bin/env", std::vector<std::string>{"-i", "HOME=" + home(), "XDG_RUNTIME_DIR=" + home() + "/run",
                                                 env("DISPLAY"), env("XAUTHORITY"), "PATH=/usr/bin:/bin",
                                                 root_.path().toStdString() + "/usr/bin/" + program});
  }

 private:
  QTemporaryDir root_, home_;
  bool installed_ = false;
};

TEST(FirstStart, TheInstalledProgramOpensWithItsPictureAndFirstSlotAndNoBox) {
  InstalledVelmira velmira;
  ASSERT_TRUE(velmira.installed());
  std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
  Display* d = display.get();
  auto find = [&](const std::unique_ptr<test::ChildProcess>& p, const std::string& title) {
    return findWindow(d, DefaultRootWindow(d), p->pid(), title);
  };
  Window main = 0;
  {
    auto program = velmira.start();
    ASSERT_TRUE(test::pollUntil([&] { return (main = find(program, "Velmira v.101")) != 0; }, 20000))
        << "no window, or a box held it back; " << program->errorOutput();

    // Where no control lies, the window shows the picture, stretched over it.
    const QImage shipped(QString::fromStdString(velmira.shipped("MiImagen.jpg")));
    ASSERT_FALSE(shipped.isNull());
    const QPoint empty[] = {{6, 6}, {350, 20}, {690, 20}, {6, 300}, {690, 300}, {300, 140}, {420, 300}, {425, 450}};
    auto close = [](QColor a, QColor b, int by) {
      return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) <= by;
    };
    QImage shown, picture;
    const bool matches = test::pollUntil(
        [&] {
          shown = QGuiApplication::primaryScreen()->grabWindow(main).toImage();
          picture = shipped.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
          for (QPoint p : empty)
            if (!close(shown.pixelColor(p), picture.pixelColor(p), 6)) return false;
          return true;
        },
        5000);
    EXPECT_TRUE(matches) << "the window does not show the picture";
    bool varied = false;
    for (QPoint p : empty) varied = varied || !close(picture.pixelColor(p), picture.pixelColor(empty[0]), 20);
    EXPECT_TRUE(varied) << "the sampled spots would not tell the picture from a plain ground";

    // "Salvar Configuración 2" writes what the window holds.
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, main, DefaultRootWindow(d), 456, 128, &x, &y, &child);
    clickAt(d, {x, y});
    const std::string slot2 = velmira.userFolder() + "/configuracion2.ini";
    ASSERT_TRUE(test::pollUntil([&] { return std::filesystem::exists(slot2); }, 10000));
    EXPECT_EQ(slurp(slot2), slurp(velmira.shipped("configuracion.ini")));
    EXPECT_EQ(slurp(velmira.userFolder() + "/Notas.txt"), slurp(velmira.shipped("Notas.txt")));
    program->signal(SIGTERM);
    program->wait(10000);
  }

  std::filesystem::remove(velmira.userFolder() + "/MiImagen.jpg");
  auto again = velmira.start();
  EXPECT_TRUE(test::pollUntil([&] { return find(again, "Velmira") != 0; }, 20000))
      << "no box for the deleted picture";
  EXPECT_EQ(find(again, "Velmira v.101"), 0UL);
  EXPECT_FALSE(std::filesystem::exists(velmira.userFolder() + "/MiImagen.jpg"));
  again.reset();

  std::filesystem::remove_all(velmira.userFolder());
  auto fromTerminal = velmira.start("velmira");
  EXPECT_TRUE(test::pollUntil([&] { return find(fromTerminal, "Velmira v.101") != 0; }, 20000))
      << "no window, or a box held it back";
}

}  // namespace
}  // namespace velmira
