#include "platform/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <linux/serial.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>

#include "platform/port_enumerator.h"
#include "platform/steady_clock.h"

namespace velmira::platform {
namespace {

// At 9600 baud, paced, a byte waits for room in the kernel only when the
// adapter has stopped taking them: a second is patience enough, and keeps
// the end of the program within two seconds on a stalled line.
constexpr auto kWriteTimeout = std::chrono::milliseconds(1000);
constexpr auto kDrainTimeout = std::chrono::milliseconds(1000);
// How long a close may hold the caller once the output is discarded.
constexpr auto kCloseWait = std::chrono::milliseconds(300);
// One byte at 9600 baud with a start and a stop bit.
constexpr int64_t kByteNs = 10 * 1'000'000'000LL / 9600;

int64_t nowMs() { return monotonicNs() / 1'000'000; }

// Closes `fd` on a thread of its own and waits for it, bounded; the error
// of a close that ended in time (0 otherwise).  A driver may still wait in
// the close for output that cannot leave (a USB adapter's closing wait,
// 30 s by default, changeable only by the administrator): the program goes
// on meanwhile, and a process that ends does not wait for it (the thread's
// wait ends with the process).
int closeBounded(int fd) {
  struct Closing {
    std::mutex m;
    std::condition_variable done;
    bool closed = false;
    int err = 0;
  };
  auto c = std::make_shared<Closing>();
  try {
    std::thread([fd, c] {
      const int err = ::close(fd) != 0 && errno != EINTR ? errno : 0;
      std::lock_guard lock(c->m);
      c->closed = true;
      c->err = err;
      c->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return ::close(fd) != 0 && errno != EINTR ? errno : 0;
  }
  std::unique_lock lock(c->m);
  c->done.wait_for(lock, kCloseWait, [&] { return c->closed; });
  return c->err;
}

}  // namespace

std::string failureDetail(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return "No tiene permiso para abrir el puerto. Añada su usuario al grupo \"dialout\" con "
             "\"sudo usermod -aG dialout $USER\" y vuelva a iniciar la sesión.";
    case EBUSY:
    case EWOULDBLOCK:
      return "El puerto está ocupado por otro programa (el gestor de módems ModemManager revisa "
             "durante unos segundos los puertos recién conectados). Inténtelo de nuevo en unos segundos.";
    case EIO:
    case ENXIO:
    case ENODEV:
    case ENOENT:
    case EBADF:
      return "El dispositivo ya no está conectado: compruebe el cable USB del controlador y vuelva a "
             "buscar el puerto.";
    default:
      return std::string("Error del sistema: ") + std::strerror(err);
  }
}

PosixSerialPort::PosixSerialPort(PortRegistry& registry)
    : resolver_([&registry](int16_t number) -> std::optional<std::string> {
        std::optional<DeviceInfo> d = registry.deviceFor(number);
        if (!d) return std::nullopt;
        return d->path;
      }) {}

PosixSerialPort::~PosixSerialPort() {
  if (fd_ >= 0) ::close(fd_);
}

void PosixSerialPort::fail(int err, const std::string& what) {
  throw Failure(what + " (" + std::strerror(err) + ")", failureDetail(err));
}

void PosixSerialPort::setPortNumber(int16_t number) {
  if (fd_ >= 0) throw Failure("El puerto ya está abierto");
  if (number < 1) throw Failure("Número de puerto no válido");
  number_ = number;
}

void PosixSerialPort::open() {
  if (fd_ >= 0) throw Failure("El puerto ya está abierto");
  std::optional<std::string> path = resolver_(number_);
  if (!path) throw Failure("Número de puerto no válido", failureDetail(ENOENT));
  // A virtual port is a link, listed when it pointed at a terminal; it may
  // point elsewhere by now.  Its target is resolved and checked again here,
  // and that target, not the link, is opened.
  std::string device = *path;
  struct stat checked {};
  bool virtualPort = false;
  if (lstat(path->c_str(), &checked) == 0 && S_ISLNK(checked.st_mode)) {
    char resolved[PATH_MAX];
    if (!realpath(path->c_str(), resolved)) fail(errno, "No se puede abrir el puerto");
    if (!safeVirtualTarget(resolved) || stat(resolved, &checked) != 0)
      throw Failure("El puerto virtual no lleva a un puerto serie",
                    "El enlace " + *path + " ya no apunta a un terminal suyo ni a un puerto serie del sistema.");
    device = resolved;
    virtualPort = true;
  }
  int fd = ::open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) fail(errno == ELOOP ? ENOENT : errno, "No se puede abrir el puerto");
  struct stat opened {};
  const bool same = fstat(fd, &opened) == 0 && S_ISCHR(opened.st_mode) &&
                    (!virtualPort || opened.st_rdev == checked.st_rdev);
  if (!same || !isatty(fd)) {
    ::close(fd);
    throw Failure("El dispositivo no es un puerto serie");
  }
  // Another program of this kind holding the port is "busy" too.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    fail(err == EWOULDBLOCK ? EBUSY : err, "No se puede abrir el puerto");
  }
  if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
    // Exclusive mode is a courtesy to other programs; failing it is harmless.
  }
  fd_ = fd;
}

void PosixSerialPort::setSettings(const std::string& settings) {
  if (fd_ < 0) throw Failure("El puerto no está abierto");
  if (settings != "9600,N,8,1") throw Failure("Valor de propiedad no válido");
  termios t {};
  if (tcgetattr(fd_, &t) != 0) fail(errno, "No se pueden aplicar los parámetros del puerto");
  cfmakeraw(&t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  t.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS | HUPCL);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (tcsetattr(fd_, TCSANOW, &t) != 0) fail(errno, "No se pueden aplicar los parámetros del puerto");
}

void PosixSerialPort::waitForLine() { sleepUntilNs(lineFreeAtNs_, true); }

void PosixSerialPort::write(const std::string& data) {
  if (fd_ < 0) throw Failure("El puerto no está abierto");
  size_t done = 0;
  int64_t deadline = nowMs() + kWriteTimeout.count();
  if (stalled_) {
    // The line has stalled before: what was queued then (steps that never
    // left) is discarded so that the next command goes first, and every
    // command is tried once, without waiting again.
    if (discardQueued_) tcflush(fd_, TCOFLUSH);
    discardQueued_ = false;
    deadline = nowMs();
  }
  while (done < data.size()) {
    waitForLine();
    ssize_t n = ::write(fd_, data.data() + done, 1);
    if (n > 0) {
      done += static_cast<size_t>(n);
      lineFreeAtNs_ = std::max(monotonicNs(), lineFreeAtNs_) + kByteNs;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) fail(errno, "Error de escritura en el puerto");
    int64_t left = deadline - nowMs();
    if (left <= 0) {
      stalled_ = discardQueued_ = true;
      throw Failure("Tiempo de espera agotado al escribir en el puerto", failureDetail(EIO));
    }
    pollfd p {fd_, POLLOUT, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) fail(EIO, "Error de escritura en el puerto");
  }
}

int PosixSerialPort::pendingOutput() const {
  int pending = 0;
  if (fd_ < 0 || ioctl(fd_, TIOCOUTQ, &pending) != 0) return -1;
  return pending;
}

void PosixSerialPort::close() {
  if (fd_ < 0) return;
  // Let the output drain, bounded: a vanished adapter must not hang the exit.
  const int64_t deadline = nowMs() + kDrainTimeout.count();
  while (!stalled_ && nowMs() < deadline && pendingOutput() > 0) {
    pollfd p {fd_, 0, 0};
    poll(&p, 1, 2);
  }
  const bool leftOver = pendingOutput() > 0;
  int fd = fd_;
  fd_ = -1;
  stalled_ = discardQueued_ = false;
  // What has not left by now never will: discard it, and ask the driver not
  // to wait for it at the close (allowed to the administrator only; for
  // others the close below is bounded instead).
  if (leftOver) tcflush(fd, TCOFLUSH);
  serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.closing_wait != ASYNC_CLOSING_WAIT_NONE) {
    serial.closing_wait = ASYNC_CLOSING_WAIT_NONE;
    ioctl(fd, TIOCSSERIAL, &serial);
  }
  // Give up the exclusive use taken at the open: a terminal whose other end
  // stays open (a pseudo-terminal of the simulator) keeps the flag after the
  // close, and an ordinary user could not open it again.
  ioctl(fd, TIOCNXCL);
  if (int err = closeBounded(fd)) fail(err, "Error al cerrar el puerto");
}

}  // namespace velmira::platform
