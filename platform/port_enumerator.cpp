#include "platform/port_enumerator.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <regex>

namespace velmira::platform {

std::string virtualPortsDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/velmira/ports";
  return "/tmp/velmira-" + std::to_string(getuid()) + "/ports";
}

std::optional<std::string> safeVirtualTarget(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return std::nullopt;
  std::string target(resolved);
  struct stat st {};
  if (stat(resolved, &st) != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
  // A pseudo-terminal of this user (never the multiplexer /dev/pts/ptmx,
  // which opens a new terminal) ...
  static const std::regex pts("/dev/pts/[0-9]+");
  if (std::regex_match(target, pts)) return st.st_uid == getuid() ? std::optional(target) : std::nullopt;
  if (target.rfind("/dev/pts/", 0) == 0) return std::nullopt;
  // ... or a serial device of the system; never a disk, a console or a file.
  static const std::regex serial("/dev/tty(S|USB|ACM|AMA)[0-9]+");
  return std::regex_match(target, serial) ? std::optional(target) : std::nullopt;
}

std::vector<DeviceInfo> scanVirtualPorts(const std::string& dir) {
  std::vector<DeviceInfo> found;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return found;
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return found;  // others could plant links
  DIR* d = opendir(dir.c_str());
  if (!d) return found;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = dir + "/" + name;
    struct stat lst {};
    if (lstat(path.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) continue;
    std::optional<std::string> target = safeVirtualTarget(path);
    if (!target) continue;
    DeviceInfo info;
    info.path = path;
    info.systemName = target->substr(5);  // behind "/dev/"
    info.description = name;
    found.push_back(info);
  }
  return found;
}

std::vector<std::string> PortEnumerator::displayNames() {
  std::vector<DeviceInfo> devices;
  if (systemPorts_) devices = systemPorts_();
  for (DeviceInfo& v : scanVirtualPorts(virtualDir_)) devices.push_back(std::move(v));
  std::vector<std::string> names;
  for (const DeviceInfo& d : devices) names.push_back(PortRegistry::displayName(d, registry_.numberFor(d)));
  return names;
}

}  // namespace velmira::platform
