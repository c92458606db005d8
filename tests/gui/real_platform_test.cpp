// The program's own platform: a port that the enumeration lists opens that
// very device, and the bytes written reach it.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <regex>

#include "qt/real_platform.h"

namespace velmira {
namespace {

TEST(RealPlatform, AListedPortOpensThatDeviceAndTakesTheBytes) {
  QTemporaryDir runtime;
  ASSERT_EQ(chmod(runtime.path().toLocal8Bit().constData(), 0700), 0);
  const std::string ports = runtime.path().toStdString() + "/velmira/ports";
  ASSERT_EQ(mkdir((runtime.path().toStdString() + "/velmira").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(ports.c_str(), 0700), 0);
  int master = -1, slave = -1;
  char slaveName[256] = {};
  ASSERT_EQ(openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
  ASSERT_EQ(symlink(slaveName, (ports + "/carril").c_str()), 0);

  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
  auto machine = std::make_unique<qt::RealPlatform>();
  if (saved.empty()) unsetenv("XDG_RUNTIME_DIR"); else setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);

  int16_t number = -1;
  for (const std::string& name : machine->devices.displayNames()) {
    std::smatch m;
    if (name.rfind("carril", 0) == 0 && std::regex_search(name, m, std::regex(R"(\(COM(\d+)\)$)")))
      number = static_cast<int16_t>(std::stoi(m[1]));
  }
  ASSERT_GT(number, 0) << "the published port is listed with its number";
  machine->serial.setPortNumber(number);
  machine->serial.open();
  machine->serial.setSettings("9600,N,8,1");
  machine->serial.write("p");
  char byte = 0;
  pollfd p{master, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  ASSERT_EQ(read(master, &byte, 1), 1);
  EXPECT_EQ(byte, 'p');
  machine->serial.close();
  close(slave);
  close(master);
}

}  // namespace
}  // namespace velmira
