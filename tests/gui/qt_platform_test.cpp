// The Qt platform of the program: the blocking wait, the event pass, the
// message boxes, pictures, the process and its data folder, the single
// instance, and the ports as the program itself finds and opens them.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <regex>

#include "qt/instance_guard.h"
#include "qt/qt_platform.h"
#include "qt/real_platform.h"
#include "sim/virtual_port.h"

namespace velmira {
namespace {

// A window that notes what reaches it.
class Probe : public QWidget {
 public:
  Probe() {
    resize(60, 40);
    show();
    QApplication::setActiveWindow(this);
    QApplication::processEvents();
  }
  QString typed;
  int paints = 0;

 protected:
  void keyPressEvent(QKeyEvent* e) override { typed += e->text(); }
  void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST(QtClock, AWaitHoldsTheUsersInputUntilTheNextEventPassButRepaints) {
  Probe probe;
  QPushButton button(QStringLiteral("b"), &probe);
  button.show();
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
  const int paintsBefore = probe.paints;
  QTimer::singleShot(5, &probe, [&] {
    QCoreApplication::postEvent(&probe, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    probe.update();
  });
  QTimer::singleShot(25, &probe, [&] {
    QTest::keyClick(probe.windowHandle(), Qt::Key_B);
    QTest::mouseClick(&button, Qt::LeftButton);
  });
  qt::QtClock clock;
  const int64_t start = clock.nowMs();
  clock.sleepMs(60);
  EXPECT_GE(clock.nowMs() - start, 60) << "the whole time, on a monotonic clock";
  EXPECT_FALSE(clock.waiting());
  EXPECT_EQ(probe.typed, "") << "no input is delivered during the wait";
  EXPECT_EQ(clicks, 0) << "no handler runs during the wait";
  EXPECT_GT(probe.paints, paintsBefore) << "the window repainted";
  qt::QtEventPump pump;
  pump.doEvents();
  EXPECT_EQ(probe.typed, "ab") << "delivered at the next event pass, in order";
  EXPECT_EQ(clicks, 1);
}

// What the window asks for is in the scenarios ("box ..."); here the
// request as the user sees it, and the answer to a question.
TEST(QtMessageBoxes, ShowTheRequestAndGiveTheAnswer) {
  using platform::Icon;
  const auto ok = QMessageBox::Ok, retry = QMessageBox::Retry, cancel = QMessageBox::Cancel;
  struct Case { platform::MessageBoxRequest r; bool ask; QMessageBox::StandardButton click; QMessageBox::Icon icon; };
  const Case cases[] = {
      {{"No existe imagen de fondo", "Velmira", Icon::None, ""}, false, ok, QMessageBox::NoIcon},
      {{"Error!", "velmira", Icon::Critical, "El dispositivo ya no está conectado."}, false, ok, QMessageBox::Critical},
      {{"<b>1 < 2</b>", "Velmira", Icon::None, ""}, false, ok, QMessageBox::NoIcon},  // plain text
      {{"La cámara no responde.", "Velmira", Icon::Critical, ""}, true, retry, QMessageBox::Critical},
      {{"La cámara no responde.", "Velmira", Icon::Critical, ""}, true, cancel, QMessageBox::Critical},
  };
  qt::QtMessageBoxes boxes;
  for (const Case& c : cases) {
    bool seen = false;
    // The box is read and closed as soon as it is up.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = true;
      EXPECT_EQ(box->windowTitle().toStdString(), c.r.title);
      EXPECT_EQ(box->text().toStdString(), c.r.text);
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      EXPECT_EQ(box->informativeText().toStdString(), c.r.detail);
      EXPECT_EQ(box->icon(), c.icon);
      EXPECT_EQ(box->standardButtons(), c.ask ? retry | cancel : QMessageBox::StandardButtons(ok));
      box->button(c.click)->click();
    });
    if (c.ask) {
      EXPECT_EQ(boxes.askRetry(c.r), c.click == retry) << c.r.text;
    } else {
      boxes.show(c.r);
    }
    EXPECT_TRUE(seen) << c.r.text;
  }
}

TEST(QtPictures, OnlyReadablePicturesCanBeLoaded) {
  QTemporaryDir dir;
  auto write = [&](const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return dir.filePath(name);
  };
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::green);
  ASSERT_TRUE(picture.save(dir.filePath("b.png"), "PNG"));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  ASSERT_TRUE(picture.save(&buffer, "JPEG"));
  // A JPEG whose header claims 30000 x 30000 pixels, one cut short, and a
  // FIFO (opening it for reading would block).
  QByteArray huge = jpeg;
  const qsizetype sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  for (qsizetype at : {sof + 5, sof + 7}) huge[at] = '\x75', huge[at + 1] = '\x30';
  ASSERT_EQ(mkfifo(dir.filePath("g.jpg").toLocal8Bit().constData(), 0600), 0);
  struct Case { QString path; bool loads; };
  const Case cases[] = {{write("a.jpg", jpeg), true},          {dir.filePath("b.png"), true},
                        {write("c.jpg", "no es una imagen"), false}, {write("d.jpg", ""), false},
                        {dir.filePath("x.jpg"), false},        {write("e.jpg", huge), false},
                        {write("f.jpg", jpeg.left(jpeg.size() / 2)), false}, {dir.filePath("g.jpg"), false}};
  qt::QtPictures pictures;
  for (const Case& c : cases) EXPECT_EQ(pictures.canLoad(c.path.toStdString()), c.loads) << c.path.toStdString();
}

TEST(QtProcess, KnowsItsDirectoryNameTitleAndScreen) {
  qt::QtProcess process;
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  EXPECT_EQ(process.programDir(), QFileInfo(QString::fromLocal8Bit(exe)).absolutePath().toStdString());
  EXPECT_EQ(process.exeName(), "velmira_gui_tests");
  EXPECT_EQ(process.title(), "Velmira");
  const QSize screen = QGuiApplication::primaryScreen()->size();
  EXPECT_EQ(process.screen().widthTwips, screen.width() * 15);
  EXPECT_EQ(process.screen().heightTwips, screen.height() * 15);
}

// The slots are kept beside the program only when its folder can be
// written; never in a system folder nor one that belongs to someone else,
// also when the program runs as root and may write anywhere.
TEST(DataFolder, IsNeverASystemFolderEvenForRoot) {
  auto writable = [](const std::string& dir) { return access(dir.c_str(), W_OK) == 0; };
  const std::string user = "/home/u/.local/share";
  EXPECT_EQ(qt::chooseDataDir("/opt/velmira", user, [](const std::string&) { return true; }), "/opt/velmira");
  EXPECT_EQ(qt::chooseDataDir("/opt/velmira", user, [](const std::string&) { return false; }), user + "/velmira");
  EXPECT_EQ(qt::chooseDataDir("/usr/bin", user, writable), user + "/velmira");
  QTemporaryDir own;
  EXPECT_EQ(qt::chooseDataDir(own.path().toStdString(), user, writable), own.path().toStdString());
  // Writable by everyone, owned by someone else.
  QTemporaryDir other;
  chmod(other.path().toUtf8().constData(), 01777);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(other.path().toUtf8().constData(), 65534, 65534), 0);
  }
  const std::string others = geteuid() == 0 ? other.path().toStdString() : "/tmp";
  ASSERT_TRUE(writable(others));
  EXPECT_EQ(qt::chooseDataDir(others, user, writable), user + "/velmira");
}

TEST(QtInstanceGuard, ASecondInstanceFindsTheFirstAndBringsItForward) {
  const QString name = QDir::tempPath() + QStringLiteral("/velmira-instance-test-%1").arg(getpid());
  qt::QtInstanceGuard first(name);
  EXPECT_FALSE(first.otherInstanceRunning());
  QString asked;
  first.onActivate = [&](const QString& title) { asked = title; };
  qt::QtInstanceGuard second(name);
  ASSERT_TRUE(second.otherInstanceRunning());
  EXPECT_TRUE(second.activate("Velmira"));
  (void)QTest::qWaitFor([&] { return !asked.isEmpty(); }, 5000);  // bound only
  EXPECT_EQ(asked, "Velmira");

  // Once the first has gone, its name is free: the next start runs.
  first.close();
  qt::QtInstanceGuard third(name);
  EXPECT_FALSE(third.otherInstanceRunning());
}

TEST(QtInstanceGuard, TheWindowToBringForwardIsFoundByItsTitle) {
  QWidget other, main, exact;
  other.setWindowTitle("Notas");
  main.setWindowTitle("Velmira v.101");
  exact.setWindowTitle("Velmira");
  for (QWidget* w : {&other, &main}) w->show();
  EXPECT_TRUE(qt::QtInstanceGuard::raiseWindowTitled("Velmira")) << "a title that begins with it";
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), &main);
  exact.show();
  QApplication::setActiveWindow(&other);
  EXPECT_TRUE(qt::QtInstanceGuard::raiseWindowTitled("Velmira"));
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), &exact) << "the exact title comes first";
  EXPECT_FALSE(qt::QtInstanceGuard::raiseWindowTitled("Otro programa"));
}

// The program's own platform: a port that its enumeration lists (in the
// user's runtime folder) opens that very device, and the bytes reach it.
TEST(RealPlatform, AListedPortOpensThatDeviceAndTakesTheBytes) {
  QTemporaryDir runtime;
  ASSERT_EQ(chmod(runtime.path().toLocal8Bit().constData(), 0700), 0);
  const std::string ports = runtime.path().toStdString() + "/velmira/ports";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(ports)));
  sim::VirtualPort port(ports, "carril");
  port.publish();
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
  auto machine = std::make_unique<qt::RealPlatform>();
  if (saved.empty()) unsetenv("XDG_RUNTIME_DIR"); else setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);

  int16_t number = -1;
  for (const std::string& name : machine->devices.displayNames()) {
    std::smatch m;
    if (name.rfind("carril", 0) == 0 && std::regex_search(name, m, std::regex(R"(\(COM(\d+)\)$)")))
      number = static_cast<int16_t>(std::stoi(m[1]));
  }
  ASSERT_GT(number, 0) << "the published port is listed with its number";
  machine->serial.setPortNumber(number);
  machine->serial.open();
  machine->serial.setSettings("9600,N,8,1");
  machine->serial.write("p");
  char byte = 0;
  pollfd p{port.master(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  ASSERT_EQ(read(port.master(), &byte, 1), 1);
  EXPECT_EQ(byte, 'p');
  machine->serial.close();
}

}  // namespace
}  // namespace velmira
