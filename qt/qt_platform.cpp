#include "qt/qt_platform.h"

#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>
#include <QApplication>
#include <cstdio>

#include "app/form_principal.h"
#include "qt/handler_call.h"
#include "qt/look.h"

namespace velmira::qt {
namespace {

int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void sleepUntilNs(int64_t ns) {
  timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

// Longest real sleep between two repaint passes of a wait.
constexpr int64_t kSliceNs = 4'000'000;

int waitDepth = 0;

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

QtClock::QtClock() = default;
QtClock::~QtClock() = default;

bool QtClock::waiting() { return waitDepth > 0; }

int64_t QtClock::nowMs() { return monotonicNs() / 1'000'000; }

void QtClock::sleepMs(int32_t ms) {
  const int64_t deadline = monotonicNs() + static_cast<int64_t>(ms > 0 ? ms : 0) * 1'000'000;
  // Input the window system queues stays queued (ExcludeUserInputEvents);
  // input posted as events is held by the filter and posted again after the
  // wait, in its order.  Painting and timers go on.
  if (depth_++ == 0) QCoreApplication::instance()->installEventFilter(this);
  ++waitDepth;
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const int64_t now = monotonicNs();
    if (now >= deadline) break;
    sleepUntilNs(std::min(deadline, now + kSliceNs));
  }
  --waitDepth;
  if (--depth_ == 0) {
    QCoreApplication::instance()->removeEventFilter(this);
    releaseHeldInput();
  }
}

bool QtClock::eventFilter(QObject* receiver, QEvent* event) {
  if (!isUserInput(event->type())) return false;
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
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  // The program ended in a handler of this pass: the handler that let the
  // events run does not go on.
  if (programEnded()) throw ProgramEnded{};
}

void QtMessageBoxes::show(const platform::MessageBoxRequest& r) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(qs(r.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(qs(r.text));
  if (!r.detail.empty()) box.setInformativeText(qs(r.detail));
  box.setIcon(r.icon == platform::Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool QtPictures::canLoad(const std::string& path) {
  QImageReader reader(qs(path));
  return reader.canRead();
}

platform::ScreenSize QtProcess::screen() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return {};
  return {twips(s->size().width()), twips(s->size().height())};
}

std::string QtProcess::programDir() {
  // The configuration slots and the background picture live beside the
  // program.  An installed program's directory (/usr/bin) belongs to root:
  // there they live in the user's data directory instead, so that saving a
  // slot works.
  const QString dir = QCoreApplication::applicationDirPath();
  if (QFileInfo(dir).isWritable()) return dir.toStdString();
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  if (data.isEmpty()) data = QDir::homePath() + "/.local/share";
  const QString own = data + "/velmira";
  QDir().mkpath(own);
  return own.toStdString();
}

std::string QtProcess::exeName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

void QtProcess::end() {
  if (beforeEnd) beforeEnd();
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace velmira::qt
