// The first start of an installed Velmira: the built package's files are
// installed into a temporary root, and its desktop-menu launcher is started
// there for a user with a fresh home.  The window opens at once (a message
// box at start-up would hold it back), shows the background picture that
// ships with it, and holds the first configuration slot: saved to slot 2 as
// it stands, it gives the shipped slot back byte for byte.  A picture the
// user deletes afterwards is not put back: the next start says it is missing.
// Started from a terminal instead, the first start is the same.
#include <gtest/gtest.h>
#include <signal.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/poll.h"
#include "tests/support/sim_harness.h"

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace velmira {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A window's property as text (a number as its digits).
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
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XFlush(d);
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
