// The Qt platform of the program: the blocking wait, the event pass, the
// message boxes, pictures, the process and the single instance.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "qt/instance_guard.h"
#include "qt/qt_platform.h"
#include "tests/support/fake_platform.h"

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
  clock.sleepMs(60);
  EXPECT_EQ(probe.typed, "") << "no input is delivered during the wait";
  EXPECT_EQ(clicks, 0) << "no handler runs during the wait";
  EXPECT_GT(probe.paints, paintsBefore) << "the window repainted";
  qt::QtEventPump pump;
  pump.doEvents();
  EXPECT_EQ(probe.typed, "ab") << "delivered at the next event pass, in order";
  EXPECT_EQ(clicks, 1);
}

TEST(QtClock, WaitsTheTimeAskedOnAMonotonicClock) {
  qt::QtClock clock;
  const int64_t start = clock.nowMs();
  clock.sleepMs(30);
  const int64_t waited = clock.nowMs() - start;
  EXPECT_GE(waited, 30);
  EXPECT_FALSE(clock.waiting());
}

// A box of the window through the real message boxes; the box is read and
// closed as soon as it is up.
struct SeenBox {
  QString title, text, detail;
  QMessageBox::Icon icon = QMessageBox::Information;
  QMessageBox::StandardButtons buttons;
};

SeenBox showThrough(const std::function<void(Form_Principal&)>& show) {
  test::Rig rig;
  qt::QtMessageBoxes boxes;
  platform::Platform p{rig.serial, rig.devices, rig.keys,     rig.clock,    rig.events,
                       boxes,      rig.files,   rig.pictures, rig.instance, rig.process};
  Form_Principal form(p);
  SeenBox seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {box->windowTitle(), box->text(), box->informativeText(), box->icon(), box->standardButtons()};
    box->button(QMessageBox::Ok)->click();
  });
  show(form);
  return seen;
}

TEST(QtMessageBoxes, InformationBoxesAndTheErrorBoxAsTheUserSeesThem) {
  SeenBox info = showThrough([](Form_Principal& f) { f.MsgBox("No existe imagen de fondo"); });
  EXPECT_EQ(info.title, "Velmira");
  EXPECT_EQ(info.text, "No existe imagen de fondo");
  EXPECT_EQ(info.icon, QMessageBox::NoIcon);
  EXPECT_EQ(info.detail, "");
  EXPECT_EQ(info.buttons, QMessageBox::Ok);

  SeenBox error = showThrough([](Form_Principal& f) { f.MsgBoxError("El dispositivo ya no está conectado."); });
  EXPECT_EQ(error.title, "velmira") << "the executable's name";
  EXPECT_EQ(error.text, "Error!");
  EXPECT_EQ(error.icon, QMessageBox::Critical);
  EXPECT_EQ(error.detail, "El dispositivo ya no está conectado.");
  EXPECT_EQ(error.buttons, QMessageBox::Ok);

  SeenBox plain = showThrough([](Form_Principal& f) { f.MsgBox("<b>1 < 2</b>"); });
  EXPECT_EQ(plain.text, "<b>1 < 2</b>");
}

TEST(QtPictures, OnlyReadablePicturesCanBeLoaded) {
  QTemporaryDir dir;
  const QString jpeg = dir.filePath("a.jpg"), png = dir.filePath("b.png"), text = dir.filePath("c.jpg"),
                empty = dir.filePath("d.jpg");
  QImage picture(8, 8, QImage::Format_RGB32);
  picture.fill(Qt::green);
  ASSERT_TRUE(picture.save(jpeg, "JPEG"));
  ASSERT_TRUE(picture.save(png, "PNG"));
  QFile t(text);
  ASSERT_TRUE(t.open(QIODevice::WriteOnly));
  t.write("no es una imagen");
  t.close();
  QFile e(empty);
  ASSERT_TRUE(e.open(QIODevice::WriteOnly));
  e.close();
  // A JPEG whose header claims 30000 x 30000 pixels, one cut short, and a
  // FIFO (opening it for reading would block).
  QFile j(jpeg);
  ASSERT_TRUE(j.open(QIODevice::ReadOnly));
  const QByteArray bytes = j.readAll();
  QByteArray huge = bytes;
  const qsizetype sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  for (qsizetype at : {sof + 5, sof + 7}) huge[at] = '\x75', huge[at + 1] = '\x30';
  const QString giant = dir.filePath("e.jpg"), cut = dir.filePath("f.jpg"), fifo = dir.filePath("g.jpg");
  for (const auto& [path, content] : {std::pair{giant, huge}, std::pair{cut, bytes.left(bytes.size() / 2)}}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
  }
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  struct Case { QString path; bool loads; };
  const Case cases[] = {{jpeg, true},   {png, true},  {text, false}, {empty, false}, {dir.filePath("x.jpg"), false},
                        {giant, false}, {cut, false}, {fifo, false}};
  qt::QtPictures pictures;
  for (const Case& c : cases) EXPECT_EQ(pictures.canLoad(c.path.toStdString()), c.loads) << c.path.toStdString();
}

TEST(QtProcess, KeepsTheSlotsBesideTheProgramOnlyWhenItsFolderCanBeWritten) {
  auto writableIf = [](bool w) { return [w](const std::string&) { return w; }; };
  EXPECT_EQ(qt::chooseDataDir("/opt/velmira", "/home/u/.local/share", writableIf(true)), "/opt/velmira");
  EXPECT_EQ(qt::chooseDataDir("/usr/bin", "/home/u/.local/share", writableIf(false)),
            "/home/u/.local/share/velmira");
}

TEST(QtProcess, KnowsItsDirectoryNameTitleAndScreen) {
  qt::QtProcess process;
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  const QFileInfo self(QString::fromLocal8Bit(exe));
  EXPECT_EQ(process.programDir(), self.absolutePath().toStdString());
  EXPECT_EQ(process.exeName(), "velmira_gui_tests");
  EXPECT_EQ(process.title(), "Velmira");
  const QSize screen = QGuiApplication::primaryScreen()->size();
  EXPECT_EQ(process.screen().widthTwips, screen.width() * 15);
  EXPECT_EQ(process.screen().heightTwips, screen.height() * 15);
}

QString uniqueServerName() {
  static int n = 0;
  return QDir::tempPath() + QStringLiteral("/velmira-instance-test-%1-%2").arg(getpid()).arg(++n);
}

TEST(QtInstanceGuard, ASecondInstanceFindsTheFirstAndBringsItForward) {
  const QString name = uniqueServerName();
  qt::QtInstanceGuard first(name);
  EXPECT_FALSE(first.otherInstanceRunning());
  QString asked;
  QEventLoop loop;
  first.onActivate = [&](const QString& title) {
    asked = title;
    loop.quit();
  };
  qt::QtInstanceGuard second(name);
  ASSERT_TRUE(second.otherInstanceRunning());
  EXPECT_TRUE(second.activate("Velmira"));
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);  // bound only
  if (asked.isEmpty()) loop.exec();
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

}  // namespace
}  // namespace velmira
