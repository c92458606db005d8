#include "sim/virtual_port.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <stdexcept>

namespace velmira::sim {
namespace {

[[noreturn]] void fail(const std::string& what, int err) {
  throw std::runtime_error(what + ": " + std::strerror(err));
}

bool isDanglingLink(const std::string& path) {
  struct stat lst {}, st {};
  return lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && stat(path.c_str(), &st) != 0;
}

}  // namespace

void ensurePortsDir(const std::string& dir) {
  if (dir.empty() || dir[0] != '/') throw std::runtime_error("El directorio de puertos debe ser absoluto: " + dir);
  for (size_t at = dir.find('/', 1);; at = dir.find('/', at + 1)) {
    std::string part = dir.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) fail("No se puede crear " + part, errno);
    if (at == std::string::npos) break;
  }
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) fail("No se puede examinar " + dir, errno);
  if (!S_ISDIR(st.st_mode) || st.st_uid != getuid())
    throw std::runtime_error("El directorio de puertos no es un directorio propio: " + dir);
  // Others must not be able to plant links here; the discovery checks it.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) && chmod(dir.c_str(), 0700) != 0)
    fail("No se pueden corregir los permisos de " + dir, errno);
}

void removeStaleLinks(const std::string& dir) {
  static const std::regex ours("velmira-sim-([0-9]+)-[0-9]+");
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::cmatch m;
    if (!std::regex_match(e->d_name, m, ours)) continue;
    long pid = std::strtol(m[1].str().c_str(), nullptr, 10);
    if (pid <= 0 || pid > INT_MAX) continue;
    if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    unlink((dir + "/" + e->d_name).c_str());
  }
  closedir(d);
}

std::string defaultLinkName(int n) {
  return "velmira-sim-" + std::to_string(getpid()) + "-" + std::to_string(n);
}

VirtualPort::VirtualPort(const std::string& dir, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    throw std::runtime_error("Nombre de puerto no válido: " + name);
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) fail("No se puede crear el pseudoterminal", errno);
  try {
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) fail("No se puede preparar el pseudoterminal", errno);
    char path[PATH_MAX];
    if (ptsname_r(master_, path, sizeof path) != 0) fail("No se puede nombrar el pseudoterminal", errno);
    slavePath_ = path;
    // Opening and closing the slave once sets the hang-up state of the
    // master, which goes away when the host opens the port: that is how
    // the rail notices the open.  The settings made here stay with the
    // terminal for the host's opens.
    int slave = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) fail("No se puede abrir " + slavePath_, errno);
    termios t {};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    t.c_cflag |= HUPCL | CLOCAL | CREAD;
    tcsetattr(slave, TCSANOW, &t);
    ::close(slave);
    ensurePortsDir(dir);
    removeStaleLinks(dir);
    linkPath_ = dir + "/" + name;
  } catch (...) {
    ::close(master_);
    throw;
  }
}

void VirtualPort::publish() {
  if (isDanglingLink(linkPath_)) unlink(linkPath_.c_str());
  if (symlink(slavePath_.c_str(), linkPath_.c_str()) != 0) {
    if (errno == EEXIST)
      throw std::runtime_error("Ya existe " + linkPath_ + " (¿otro simulador con el mismo nombre?)");
    fail("No se puede publicar " + linkPath_, errno);
  }
  published_ = true;
}

void VirtualPort::unplug() {
  if (published_) {
    char target[PATH_MAX];
    ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<size_t>(n)) == slavePath_) unlink(linkPath_.c_str());
    published_ = false;
  }
  if (master_ >= 0) {
    ::close(master_);
    master_ = -1;
  }
}

VirtualPort::~VirtualPort() { unplug(); }

}  // namespace velmira::sim
