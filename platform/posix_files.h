// Files on the local file system.
#pragma once

#include "platform/platform.h"

namespace velmira::platform {

// Why a file could not be written, in Spanish: "no queda espacio en el
// disco", "no tiene permiso para escribir en la carpeta /x" ...
std::string writeFailureCause(int err, const std::string& dir);

class PosixFiles : public Files {
 public:
  bool exists(const std::string& path) override;
  std::optional<Contents> read(const std::string& path, size_t limit) override;
  std::optional<std::string> replaceFile(const std::string& path, const std::string& bytes) override;
  std::optional<std::string> appendFile(const std::string& path, const std::string& bytes) override;
  std::optional<std::string> makeFolder(const std::string& path) override;
  bool taken(const std::string& path) override;
};

// Writes `bytes` to `path` under a temporary name in the same folder,
// flushes them to the disk and renames the file: `path` appears whole or
// not at all.  The text says why it failed.
std::optional<std::string> writeWhole(const std::string& path, const char* bytes, size_t size);

}  // namespace velmira::platform
