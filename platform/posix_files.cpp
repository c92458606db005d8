#include "platform/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <cstdio>

namespace velmira::platform {

bool PosixFiles::exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<Contents> PosixFiles::read(const std::string& path, size_t limit) {
  // Non-blocking, so that opening a FIFO cannot hang; a FIFO or a device is
  // then refused before anything is read from it.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  Contents out;
  out.bytes.resize(std::min<size_t>(limit, static_cast<size_t>(st.st_size)) + 1);
  size_t done = 0;
  // One byte more than the limit tells whether there is more.
  while (done < limit + 1) {
    if (done == out.bytes.size()) out.bytes.resize(std::min(limit + 1, out.bytes.size() * 2 + 64));
    ssize_t n = ::read(fd, out.bytes.data() + done, out.bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  out.cut = done > limit;
  out.bytes.resize(std::min(done, limit));
  return out;
}

std::string writeFailureCause(int err, const std::string& dir) {
  switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "no queda espacio en el disco";
    case EACCES:
    case EPERM:
      return "no tiene permiso para escribir en la carpeta " + dir;
    case EROFS:
      return "la carpeta " + dir + " está en un disco de solo lectura";
    case EISDIR:
      return "hay una carpeta con el nombre del archivo en " + dir;
    case ENOENT:
    case ENOTDIR:
      return "la carpeta " + dir + " no existe";
    case EIO:
      return "error de entrada/salida del disco";
    default:
      return std::string("error del sistema (") + std::strerror(err) + ")";
  }
}

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Every byte, however the kernel splits the write.
int writeAll(int fd, const char* bytes, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

std::optional<std::string> writeWhole(const std::string& path, const char* bytes, size_t size) {
  // Write a complete temporary file beside the old one, then rename it over
  // it: a write that fails half-way leaves the previous file as it was.
  const std::string dir = folderOf(path);
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return writeFailureCause(errno, dir);
  auto failWith = [&](int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return std::optional<std::string>(writeFailureCause(err, dir));
  };
  if (int err = writeAll(fd, bytes, size)) return failWith(err);
  fchmod(fd, 0644);
  if (fsync(fd) != 0) return failWith(errno);
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return writeFailureCause(err, dir);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return writeFailureCause(err, dir);
  }
  // The new name is on disk only once its folder is: a power cut right after
  // a save must not bring the old file (or no photo) back.  Some file
  // systems cannot sync a folder; the file itself is safe then all the same.
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    ::close(dirFd);
  }
  return std::nullopt;
}

std::optional<std::string> PosixFiles::replaceFile(const std::string& path, const std::string& bytes) {
  return writeWhole(path, bytes.data(), bytes.size());
}

std::optional<std::string> PosixFiles::appendFile(const std::string& path, const std::string& bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return writeFailureCause(errno, folderOf(path));
  int err = writeAll(fd, bytes.data(), bytes.size());
  if (!err && fdatasync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (err) return writeFailureCause(err, folderOf(path));
  return std::nullopt;
}

std::optional<std::string> PosixFiles::makeFolder(const std::string& path) {
  for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string part = at == std::string::npos ? path : path.substr(0, at);
    if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
      return writeFailureCause(errno, folderOf(part));
    if (at == std::string::npos) break;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return writeFailureCause(ENOTDIR, path);
  return std::nullopt;
}

bool PosixFiles::taken(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace velmira::platform
