#include "qt/qt_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/steady_clock.h"
#include "qt/look.h"

namespace velmira::qt {
namespace {

using platform::monotonicNs;
using platform::sleepUntilNs;

// Longest real sleep between two repaint passes of a wait: about one
// refresh of the screen.
constexpr int64_t kSliceNs = 10'000'000;
// The least of a wait that still starts an event pass.
constexpr int64_t kLastPassNs = 2'000'000;

bool isUserInput(QEvent::Type t) {
  switch (t) {
    case QEvent::KeyPress: case QEvent::KeyRelease: case QEvent::ShortcutOverride: case QEvent::Shortcut:
    case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: case QEvent::Wheel: case QEvent::ContextMenu: case QEvent::InputMethod:
    case QEvent::TouchBegin: case QEvent::TouchUpdate: case QEvent::TouchEnd: case QEvent::TouchCancel:
    case QEvent::TabletPress: case QEvent::TabletRelease: case QEvent::TabletMove:
      return true;
    default:
      return false;
  }
}

}  // namespace

QEvent::Type closeAtNextPassEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QtClock::QtClock() = default;

QtClock::~QtClock() {
  if (filtering_ && QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

int64_t QtClock::nowMs() { return monotonicNs() / 1'000'000; }

void QtClock::sleepMs(int32_t ms) {
  const int64_t deadline = monotonicNs() + static_cast<int64_t>(ms > 0 ? ms : 0) * 1'000'000;
  // Input the window system queues stays queued (ExcludeUserInputEvents);
  // input posted as events is held by the filter and posted again after the
  // wait, in its order.  Painting and timers go on.  The filter stays
  // installed between waits and lets everything through there.
  if (!filtering_) {
    QCoreApplication::instance()->installEventFilter(this);
    filtering_ = true;
  }
  ++depth_;
  // The window's repaint (about 0.4 ms) is done first: a wait absorbs it,
  // whereas the event pass after a step would lengthen the step.  Then
  // events are processed at the start of the wait and every slice, but only
  // while enough of the wait remains for a pass: one that started just
  // before the deadline would lengthen the wait (a step's wait of 1 or 2 ms
  // has no pass at all).  A slice that would end too close to the deadline
  // runs on to it.
  if (painter_ && deadline - monotonicNs() >= kPaintNs) painter_(deadline - monotonicNs());
  for (;;) {
    int64_t now = monotonicNs();
    if (deadline - now >= kLastPassNs) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents,
                                      static_cast<int>((deadline - now) / 1'000'000));
      now = monotonicNs();
    }
    if (now >= deadline) break;
    int64_t until = std::min(deadline, now + kSliceNs);
    if (deadline - until < kLastPassNs) until = deadline;
    sleepUntilNs(until, until == deadline);
    if (until == deadline) break;
  }
  if (--depth_ == 0) releaseHeldInput();
}

bool QtClock::eventFilter(QObject* receiver, QEvent* event) {
  if (depth_ == 0) return false;
  if (!isUserInput(event->type()) && event->type() != closeAtNextPassEvent()) return false;
  held_.push_back({receiver, std::unique_ptr<QEvent>(event->clone())});
  return true;
}

void QtClock::releaseHeldInput() {
  std::vector<Held> held = std::move(held_);
  held_.clear();
  for (Held& h : held)
    if (h.receiver) QCoreApplication::postEvent(h.receiver, h.event.release());
}

void QtEventPump::doEvents() {
  // Input that arrived during a wait was left in the window system's queue.
  // On X11 that queue is only read again when the dispatcher has been woken
  // since the last pass, which new input or a repaint may or may not have
  // done: wake it, so that this pass delivers every click and key that came
  // before it, and a click made during a wait is handled here and not one or
  // two passes later.
  if (QAbstractEventDispatcher* d = QCoreApplication::eventDispatcher()) d->wakeUp();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

namespace {

// The box's title, text, detail and icon as the request gives them.
void describe(QMessageBox& box, const platform::MessageBoxRequest& r) {
  box.setWindowTitle(qs(r.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(qs(r.text));
  if (!r.detail.empty()) box.setInformativeText(qs(r.detail));
  box.setIcon(r.icon == platform::Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon);
}

}  // namespace

void QtMessageBoxes::show(const platform::MessageBoxRequest& r) {
  QMessageBox box(QApplication::activeWindow());
  describe(box, r);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool QtMessageBoxes::askRetry(const platform::MessageBoxRequest& r) {
  QMessageBox box(QApplication::activeWindow());
  describe(box, r);
  box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Retry);
  return box.exec() == QMessageBox::Retry;
}

bool QtPictures::canLoad(const std::string& path) {
  // Never open a FIFO or a device; and judge the picture by decoding it: a
  // header can promise what the decoder then refuses (a size beyond Qt's
  // allocation limit, a file cut short).
  if (!QFileInfo(qs(path)).isFile()) return false;
  QImageReader reader(qs(path));
  return !reader.read().isNull();
}

platform::ScreenSize QtProcess::screen() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return {};
  return {twips(s->size().width()), twips(s->size().height())};
}

bool isSystemFolder(const std::string& dir) {
  char resolved[PATH_MAX];
  const std::string real = realpath(dir.c_str(), resolved) ? std::string(resolved) : dir;
  if (real == "/usr" || real.rfind("/usr/", 0) == 0) return true;
  struct stat st {};
  return stat(real.c_str(), &st) == 0 && st.st_uid != geteuid();
}

std::string installedShareDir(const std::string& programDir, const std::function<bool(const std::string&)>& isDir) {
  if (programDir.size() <= 4 || !programDir.ends_with("/bin") || !isDir) return {};
  const std::string share = programDir.substr(0, programDir.size() - 4) + "/share/velmira";
  return isDir(share) ? share : std::string();
}

std::string chooseDataDir(const std::string& programDir, const std::string& userDataDir,
                          const std::function<bool(const std::string&)>& writable,
                          const std::function<bool(const std::string&)>& isDir) {
  // A user's slots never go among the system's programs, and the first
  // start put the shipped picture and first slot in the user's folder,
  // where they must be found.  Run as root (sudo, a common reflex when the
  // port is refused) every folder is writable: a system folder is still
  // never written into.
  if (!isSystemFolder(programDir) && installedShareDir(programDir, isDir).empty() && writable(programDir))
    return programDir;
  return userDataDir + "/velmira";
}

void offerShippedFiles(const std::string& shipped, const std::string& folder) {
  const std::string list = folder + "/.primer-inicio";
  std::set<std::string> offered;
  {
    std::ifstream in(list);
    for (std::string line; std::getline(in, line);) offered.insert(line);
  }
  std::ofstream record(list, std::ios::app);
  for (const char* name : {"Notas.txt", "configuracion.ini", "MiImagen.jpg"}) {
    const std::string from = shipped + "/" + name, to = folder + "/" + name;
    struct stat st;
    if (offered.count(name) || stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // Copied whole under another name, then linked to its own name, which
    // fails when a file (or a link, even a broken one) of that name is
    // there: nothing of the user's is replaced, and no half-copied file is
    // ever seen under the name.
    bool there = lstat(to.c_str(), &st) == 0;
    if (!there) {
      const std::string part = folder + "/." + name + ".nuevo";
      std::error_code ec;
      if (std::filesystem::copy_file(from, part, std::filesystem::copy_options::overwrite_existing, ec))
        there = link(part.c_str(), to.c_str()) == 0 || errno == EEXIST;
      unlink(part.c_str());
    }
    // A copy that failed (a full disk) is tried again at the next start.
    if (there) record << name << '\n';
  }
}

std::string QtProcess::programDir() {
  if (!dataDir_) {
    // The configuration slots and the background picture live beside the
    // program.  An installed program's directory (/usr/bin) is a system
    // folder, a shared install may be read-only or someone else's: there
    // they live in the user's data folder instead, so that saving a slot
    // works and nothing is written into the system.
    const std::string own = QCoreApplication::applicationDirPath().toStdString();
    auto isDir = [](const std::string& dir) { return QFileInfo(qs(dir)).isDir(); };
    dataDir_ = chooseDataDir(own, QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString(),
                             [](const std::string& dir) { return access(dir.c_str(), W_OK) == 0; }, isDir);
    QDir().mkpath(qs(*dataDir_));
    const std::string shipped = installedShareDir(own, isDir);
    if (!shipped.empty() && *dataDir_ != own) offerShippedFiles(shipped, *dataDir_);
  }
  return *dataDir_;
}

std::string QtProcess::shippedDir() {
  const std::string own = QCoreApplication::applicationDirPath().toStdString();
  return own == programDir() ? std::string() : own;
}

std::string QtProcess::picturesDir() {
  return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
}

std::string QtProcess::exeName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

void QtProcess::end() {
  if (beforeEnd) beforeEnd();
  std::fflush(nullptr);
  if (endSignal != 0) {
    // Ended by a signal: the parent (a shell, the session) sees it so.
    std::signal(endSignal, SIG_DFL);
    std::raise(endSignal);
  }
  _exit(exitStatus);
}

}  // namespace velmira::qt
