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
};

}  // namespace velmira::platform
