#include "tests/support/private_bus.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace velmira::test {

PrivateBus::PrivateBus() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "velmira-bus-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("no temporary folder for the bus");
  dir_ = tmpl;
  const std::string config = dir_ + "/bus.conf";
  std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:path="
                        << dir_
                        << "/socket</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n";
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ == 0) {
    ::close(fds[0]);
    const std::string print = "--print-address=" + std::to_string(fds[1]);
    const std::string conf = "--config-file=" + config;
    execlp("dbus-daemon", "dbus-daemon", conf.c_str(), "--nofork", "--nopidfile", print.c_str(), nullptr);
    _exit(127);
  }
  ::close(fds[1]);
  pollfd p{fds[0], POLLIN, 0};
  char buf[512];
  std::string line;
  while (line.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1) {
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (line.find('\n') == std::string::npos) throw std::runtime_error("dbus-daemon did not start");
  address_ = line.substr(0, line.find('\n'));
}

PrivateBus::~PrivateBus() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

}  // namespace velmira::test
