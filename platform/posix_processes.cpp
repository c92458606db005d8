#include "platform/posix_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace velmira::platform {

namespace {

// ioprio_set(2) has no wrapper in glibc.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

std::atomic<bool>* g_cancelFlag = nullptr;
volatile sig_atomic_t g_lastSignal = 0;

void onSignal(int sig) {
  g_lastSignal = sig;
  if (g_cancelFlag) g_cancelFlag->store(true);
}

}  // namespace

std::optional<std::string> PosixProcesses::find(const std::string& program) {
  if (program.find('/') != std::string::npos)
    return access(program.c_str(), X_OK) == 0 ? std::optional<std::string>(program) : std::nullopt;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

ProcessResult PosixProcesses::run(const ProcessRequest& request, const std::function<void(const std::string&)>& onLine,
                                  const std::atomic<bool>& cancel) {
  ProcessResult result;
  // Everything the child needs is made before the fork: after it only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(request.program.c_str()));
  for (const std::string& a : request.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // The tools' messages are read in English, whatever the user's language.
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "LC_ALL=", 7) && std::strncmp(*e, "LANGUAGE=", 9)) envStore.emplace_back(*e);
  envStore.emplace_back("LC_ALL=C");
  std::vector<char*> envp;
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    result.error = std::strerror(errno);
    return result;
  }
  int errPipe[2];  // tells the parent why exec failed
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    result.error = std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return result;
  }
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    result.error = std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    close(errPipe[0]);
    close(errPipe[1]);
    return result;
  }
  if (pid == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a Velmira that dies takes its tools along
    if (getppid() != parent) _exit(127);
    // SCHED_IDLE: any other task that wakes up takes the processor at once
    // (the window's thread after each step's delay); nice 19 besides.
    sched_param idle{};
    sched_setscheduler(0, SCHED_IDLE, &idle);
    setpriority(PRIO_PROCESS, 0, 19);
    syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioClassIdle << kIoprioClassShift);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    if (!request.directory.empty() && chdir(request.directory.c_str()) != 0) {
      int e = errno;
      [[maybe_unused]] ssize_t n = write(errPipe[1], &e, sizeof e);
      _exit(127);
    }
    execve(request.program.c_str(), argv.data(), envp.data());
    int e = errno;
    [[maybe_unused]] ssize_t n = write(errPipe[1], &e, sizeof e);
    _exit(127);
  }
  setpgid(pid, pid);  // either side may come first
  group_ = pid;
  if (held_) kill(-pid, SIGSTOP);
  close(fds[1]);
  close(errPipe[1]);
  int execErr = 0;
  bool execFailed = read(errPipe[0], &execErr, sizeof execErr) == static_cast<ssize_t>(sizeof execErr);
  close(errPipe[0]);
  result.started = !execFailed;
  if (execFailed) result.error = std::strerror(execErr);

  std::string pending;
  char buf[4096];
  bool open = true;
  while (open) {
    if (cancel.load()) {
      kill(-pid, SIGKILL);
      result.cancelled = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int r = poll(&p, 1, 50);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) open = false;
    else pending.append(buf, static_cast<size_t>(n));
    // The tools end their lines with \n, and some progress with \r.
    size_t pos;
    while ((pos = pending.find_first_of("\r\n")) != std::string::npos) {
      std::string line = pending.substr(0, pos);
      pending.erase(0, pos + 1);
      if (!line.empty() && onLine) onLine(line);
    }
  }
  if (!pending.empty() && onLine && !result.cancelled) onLine(pending);
  close(fds[0]);
  int status = 0;
  struct rusage usage {};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  group_ = 0;
  result.peakKb = usage.ru_maxrss;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

void PosixProcesses::hold(bool held) {
  held_ = held;
  // A program stopped by the hold is still killed by a cancel (SIGKILL
  // needs no SIGCONT).
  if (const pid_t group = group_; group > 0) kill(-group, held ? SIGSTOP : SIGCONT);
}

void cancelOnSignals(std::atomic<bool>* flag) {
  g_cancelFlag = flag;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

int lastSignal() { return g_lastSignal; }

}  // namespace velmira::platform
