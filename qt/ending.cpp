#include "qt/ending.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <algorithm>
#include <iterator>

#include "platform/steady_clock.h"
#include "qt/handler_call.h"

namespace velmira::qt {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// What a byte on the pipe means when it is no signal: the display went away
// and the end was handed to the window's thread.
constexpr unsigned char kDisplayGone = 0;
// The exit status of a program whose display went away (what the platform
// plugin itself gives).
constexpr int kDisplayGoneStatus = 1;

// The state at file scope: a signal handler, an exit hook and a message
// handler can reach nothing else, and the process has one set of each.
int pipeFds[2] = {-1, -1};
struct sigaction previousAction[std::size(kSignals)];
bool handled[std::size(kSignals)] = {};
EndFromOutside* armed = nullptr;
pthread_t windowThread;
QtMessageHandler previousMessageHandler = nullptr;
bool exitHookRegistered = false;

extern "C" void onSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Async-signal-safe; a full pipe means an end is on its way already.
  [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &byte, 1);
  errno = saved;
}

// What the platform plugins say right before they end the process when the
// display connection is lost: Qt 6.4's xcb plugin says it on the window's
// thread and then calls exit(1); its Wayland plugin says it and then ends
// the process without running any exit handler, so this message is the
// last moment anything can be done.
bool displayLost(QtMsgType type, const QString& text) {
  return type == QtFatalMsg || text.contains(QLatin1String("X11 connection broke")) ||
         text.contains(QLatin1String("Wayland connection broke")) ||
         text.contains(QLatin1String("Wayland connection experienced a fatal error"));
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (previousMessageHandler) previousMessageHandler(type, context, text);
  if (armed && displayLost(type, text)) armed->endBeforeTheProcess(type == QtFatalMsg ? SIGABRT : 0, kDisplayGoneStatus);
}

// Anything else that calls exit() while the window runs (the X library's
// own handler of a broken connection does): the same end, with its status.
void onExit(int status, void*) {
  if (armed) armed->endBeforeTheProcess(0, status);
}

}  // namespace

EndFromOutside::EndFromOutside(Form_Principal& form, QtProcess& process) : form_(form), process_(process) {
  windowThread = pthread_self();
  armed = this;
  previousMessageHandler = qInstallMessageHandler(onQtMessage);
  if (!exitHookRegistered) exitHookRegistered = on_exit(onExit, nullptr) == 0;
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { signalArrived(); });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    // A signal ignored when the program started stays ignored: SIGHUP
    // under nohup, SIGINT for a background job of a script.  Only a signal
    // that would have killed the program gets the clean end.
    if (sigaction(kSignals[i], nullptr, &previousAction[i]) != 0 || previousAction[i].sa_handler == SIG_IGN) continue;
    handled[i] = sigaction(kSignals[i], &action, nullptr) == 0;
  }
  // The desktop session ends: the same clean end as a SIGTERM, without a
  // signal of its own.  (Only when the application is really told to quit:
  // a session manager's request to save data may still be cancelled, and a
  // run must not end for a logout that does not happen.)
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { end(0); });
}

EndFromOutside::~EndFromOutside() {
  // What was there before comes back, not the default.
  for (size_t i = 0; i < std::size(kSignals); ++i)
    if (handled[i]) sigaction(kSignals[i], &previousAction[i], nullptr);
  std::fill(std::begin(handled), std::end(handled), false);
  armed = nullptr;
  qInstallMessageHandler(previousMessageHandler);
  notifier_.reset();
  for (int& fd : pipeFds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void EndFromOutside::signalArrived() {
  unsigned char byte = 0;
  if (::read(pipeFds[0], &byte, 1) != 1) return;
  if (byte == kDisplayGone) {
    process_.exitStatus = kDisplayGoneStatus;
    end(0);
  } else {
    end(byte);
  }
}

void EndFromOutside::end(int signal) {
  if (form_.programEnded()) return;  // the window has ended the program already
  process_.endSignal = signal;
  runHandler(form_, [this] { form_.Terminar_Programa(); });
}

void EndFromOutside::endBeforeTheProcess(int signal, int status) {
  if (form_.programEnded()) return;
  if (pthread_equal(pthread_self(), windowThread)) {
    // The window's thread is inside an event pass, between two writes to
    // the port: the ordinary end runs here, once, and ends the process
    // with the status it was going to end with.
    static std::atomic<bool> started{false};
    if (started.exchange(true)) return;
    process_.exitStatus = status;
    end(signal);
    return;
  }
  // Another thread is ending the process while the window's thread may be
  // writing to the port: the window's thread does the end at its next
  // event pass (a few milliseconds at most, a write's timeout at worst) and
  // ends the process; this thread waits for that, bounded.
  static std::atomic<bool> handedOver{false};
  if (handedOver.exchange(true)) return;
  const unsigned char byte = signal != 0 ? static_cast<unsigned char>(signal) : kDisplayGone;
  [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &byte, 1);
  platform::sleepUntilNs(platform::monotonicNs() + 3'000'000'000);
}

}  // namespace velmira::qt
