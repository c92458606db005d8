// Files on the local file system.
#pragma once

#include "platform/platform.h"

namespace velmira::platform {

class PosixFiles : public Files {
 public:
  bool exists(const std::string& path) override;
  std::optional<std::string> readAll(const std::string& path) override;
  std::optional<std::string> replaceFile(const std::string& path, const std::string& bytes) override;
};

}  // namespace velmira::platform
