#include "qt/ending.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>

#include "qt/handler_call.h"

namespace velmira::qt {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// The one piece of state at file scope: a signal handler can reach nothing
// else, and the process has one set of signal dispositions.
int pipeFds[2] = {-1, -1};

extern "C" void onSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Async-signal-safe; a full pipe means an end is on its way already.
  [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &byte, 1);
  errno = saved;
}

}  // namespace

EndFromOutside::EndFromOutside(Form_Principal& form, QtProcess& process) : form_(form), process_(process) {
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { signalArrived(); });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) sigaction(s, &action, nullptr);
  // The desktop session ends: the same clean end as a SIGTERM, without a
  // signal of its own.  (Only when the application is really told to quit:
  // a session manager's request to save data may still be cancelled, and a
  // run must not end for a logout that does not happen.)
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { end(0); });
}

EndFromOutside::~EndFromOutside() {
  for (int s : kSignals) std::signal(s, SIG_DFL);
  notifier_.reset();
  for (int& fd : pipeFds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void EndFromOutside::signalArrived() {
  unsigned char byte = 0;
  if (::read(pipeFds[0], &byte, 1) != 1) return;
  end(byte);
}

void EndFromOutside::end(int signal) {
  if (form_.programEnded()) return;  // the window has ended the program already
  process_.endSignal = signal;
  runHandler(form_, [this] { form_.Terminar_Programa(); });
}

}  // namespace velmira::qt
