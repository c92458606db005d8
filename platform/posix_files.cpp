#include "platform/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velmira::platform {

bool PosixFiles::exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::string> PosixFiles::readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return s.str();
}

std::optional<std::string> PosixFiles::replaceFile(const std::string& path, const std::string& bytes) {
  // Write a complete temporary file beside the old one, then rename it over
  // it: a save that fails half-way leaves the previous file as it was.
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return std::string("No se puede escribir en la carpeta del programa: ") + std::strerror(errno);
  auto failWith = [&](int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return std::optional<std::string>(std::string("No se puede guardar el archivo: ") + std::strerror(err));
  };
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return failWith(n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  fchmod(fd, 0644);
  if (fsync(fd) != 0) return failWith(errno);
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return std::string("No se puede guardar el archivo: ") + std::strerror(err);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return std::string("No se puede guardar el archivo: ") + std::strerror(err);
  }
  return std::nullopt;
}

}  // namespace velmira::platform
