// The Linux serial port on a real pseudo-terminal: bytes, settings and the
// causes of failures a user can act on; the ports' names and numbers, and
// the links a simulator publishes as virtual ports (the line's pace and an
// unplugged adapter against the simulated rail:
// tests/e2e/serial_link_e2e_test.cpp; a busy port: tests/scenarios/rail.scn).
#include <dlfcn.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/port_enumerator.h"
#include "platform/port_registry.h"
#include "platform/posix_serial_port.h"
#include "tests/support/sim_harness.h"  // the ports directory

// The program's output flushes, seen on their way to the C library.  A
// pseudo-terminal hands each byte to its reader at once, so a flush at the
// close shows in no byte read here; on a USB adapter it drops the last
// letter, the motor-off.
static int g_outputFlushes = 0;
extern "C" int tcflush(int fd, int queue) {
  if (queue == TCOFLUSH || queue == TCIOFLUSH) ++g_outputFlushes;
  static const auto real = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "tcflush"));
  return real(fd, queue);
}

namespace velmira::platform {
namespace {

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    int s = -1;
    char name[128];
    EXPECT_EQ(openpty(&master, &s, name, nullptr, nullptr), 0);
    slave = name;
    ::close(s);  // the port under test opens it again
  }
  ~Pty() { if (master >= 0) ::close(master); }
  std::string readAvailable() {
    std::string out;
    char buf[64];
    fcntl(master, F_SETFL, O_NONBLOCK);
    for (;;) {
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
};

PosixSerialPort portFor(const std::string& path) {
  return PosixSerialPort([path](int16_t) { return std::optional<std::string>(path); });
}

// And only while open; the port number cannot change while it is.
TEST(PosixSerialPort, WritesExactlyTheBytesOfEachCommandAtNineSixHundredEightNOne) {
  Pty pty;
  PosixSerialPort port = portFor(pty.slave);
  EXPECT_THROW(port.write("p"), Failure);
  port.setPortNumber(3);
  port.open();
  EXPECT_THROW(port.setPortNumber(4), Failure);
  EXPECT_THROW(port.open(), Failure);
  port.setSettings("9600,N,8,1");
  for (const char* c : {"p", "a", "b", "r", "s"}) port.write(c);
  EXPECT_EQ(pty.readAvailable(), "pabrs");

  termios t {};
  int fd = ::open(pty.slave.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  ::close(fd);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & HUPCL);  // reopening the board does not reset it
  EXPECT_FALSE(t.c_oflag & OPOST);  // nothing added to the bytes
  port.write("p");
  const int flushes = g_outputFlushes;
  port.close();
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(pty.readAvailable(), "p");
  EXPECT_EQ(g_outputFlushes, flushes) << "a close with nothing left over discards nothing";
  EXPECT_THROW(port.write("p"), Failure);
  EXPECT_NO_THROW(port.setPortNumber(4));
}

TEST(PortNames, ShowManufacturerModelAndDeviceBeforeTheNumber) {
  struct Case { DeviceInfo d; const char* name; };
  const Case cases[] = {
      {{"/dev/ttyACM0", "ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", "2341", "0043", "85734"},
       "Arduino (www.arduino.cc) Arduino Uno (ttyACM0) (COM1)"},
      {{"/dev/ttyUSB0", "ttyUSB0", "USB2.0-Serial", "", "1a86", "7523", ""}, "USB2.0-Serial (ttyUSB0) (COM1)"},
      {{"/dev/ttyS0", "ttyS0", "", "", "", "", ""}, "Puerto serie (ttyS0) (COM1)"},
      {{"/dev/ttyUSB1", "ttyUSB1", "FTDI FT232R", "FTDI", "0403", "6001", "A1"}, "FTDI FT232R (ttyUSB1) (COM1)"}};
  for (const Case& c : cases) EXPECT_EQ(PortRegistry::displayName(c.d, 1), c.name);
}

// Root may open anything: these run as an ordinary user, in a child.  A port
// without permission names the group and the command; the same user can
// connect to the same port again (the link gives up its exclusive use at
// the close, which a terminal whose other end stays open keeps otherwise).
TEST(PosixSerialPort, AnOrdinaryUserIsToldTheGroupForAPortWithoutPermissionAndCanConnectAgain) {
  Pty forbidden, mine;
  ASSERT_EQ(chmod(forbidden.slave.c_str(), 0), 0);
  ASSERT_EQ(chmod(mine.slave.c_str(), 0666), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
    try {
      portFor(forbidden.slave).open();
      _exit(11);
    } catch (const Failure& f) {
      if (f.detail().find("\"dialout\"") == std::string::npos ||
          f.detail().find("sudo usermod -aG dialout $USER") == std::string::npos)
        _exit(12);
    }
    try {
      PosixSerialPort port = portFor(mine.slave);
      for (const char* command : {"p", "a"}) {
        port.open();
        port.write(command);
        port.close();
      }
    } catch (const Failure&) {
      _exit(13);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no ordinary user; 11: opened; 12: no group or command; 13: no reconnect";
  EXPECT_EQ(mine.readAvailable(), "pa");
}

// A link in the ports directory is listed when it leads to a terminal, and
// checked again when it is opened: by then it may point anywhere.
TEST(VirtualPorts, OnlyLinksToTerminalsAreListedAndOpened) {
  Pty pty;
  test::PortsDir ports;
  const std::string dir = ports.path(), file = dir + "-plain-file";
  std::filesystem::create_directories(dir);
  std::ofstream(file) << "x";
  std::ofstream(dir + "/regular") << "x";
  const std::pair<const char*, std::string> links[] = {
      {"sim", pty.slave}, {"null", "/dev/null"},   {"file", file},          {"gone", "/dev/does-not-exist"},
      {"disk", "/dev/sda"}, {"ptmx", "/dev/pts/ptmx"}, {"ptmx2", "/dev/ptmx"}};
  for (const auto& [name, target] : links) std::filesystem::create_symlink(target, dir + "/" + name);
  const std::vector<DeviceInfo> listed = scanVirtualPorts(dir);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].description, "sim");
  EXPECT_EQ(listed[0].path, dir + "/sim");
  EXPECT_EQ(listed[0].systemName, pty.slave.substr(5));
  for (const auto& [name, target] : links) {
    PosixSerialPort port = portFor(dir + "/" + name);
    if (target == pty.slave) {
      port.open();
      port.write("p");
      port.close();
      EXPECT_EQ(pty.readAvailable(), "p");
    } else {
      EXPECT_THROW(port.open(), Failure) << name;
      EXPECT_FALSE(port.isOpen()) << name;
    }
  }
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x") << "the file was not written";
  // A directory others can write to lists nothing, nor one that is missing.
  chmod(dir.c_str(), 0777);
  EXPECT_TRUE(scanVirtualPorts(dir).empty());
  EXPECT_TRUE(scanVirtualPorts(dir + "/missing").empty());
}

// The numbers stay with their device for the whole run: a USB adapter is
// known again by its serial number, one without by its path, a simulator's
// port (listed after the system's) by its link, on whatever terminal.
TEST(PortNumbers, StayWithTheirDeviceForTheWholeRun) {
  Pty pty, again;
  test::PortsDir ports;
  const std::string link = ports.path() + "/velmira-sim-1";
  std::filesystem::create_directories(ports.path());
  std::filesystem::create_symlink(pty.slave, link);
  DeviceInfo uno{"/dev/ttyACM0", "ttyACM0", "Arduino Uno", "", "2341", "0043", "85734"};
  DeviceInfo ch340{"/dev/ttyUSB0", "ttyUSB0", "USB2.0-Serial", "", "1a86", "7523", ""};
  std::vector<DeviceInfo> system{uno, ch340};
  PortRegistry registry;
  PortEnumerator e(registry, [&] { return system; }, ports.path());
  const std::string sim = "velmira-sim-1 (";
  EXPECT_EQ(e.displayNames(), (std::vector<std::string>{"Arduino Uno (ttyACM0) (COM1)",
                                                        "USB2.0-Serial (ttyUSB0) (COM2)",
                                                        sim + pty.slave.substr(5) + ") (COM3)"}));
  // Each unplugged and plugged in again elsewhere.
  system.clear();
  std::filesystem::remove(link);
  EXPECT_TRUE(e.displayNames().empty());
  uno.path = "/dev/ttyACM1";
  uno.systemName = "ttyACM1";
  ch340.path = "/dev/ttyUSB3";
  ch340.systemName = "ttyUSB3";
  system = {ch340, uno};
  std::filesystem::create_symlink(again.slave, link);
  EXPECT_EQ(e.displayNames(), (std::vector<std::string>{"USB2.0-Serial (ttyUSB3) (COM4)",
                                                        "Arduino Uno (ttyACM1) (COM1)",
                                                        sim + again.slave.substr(5) + ") (COM3)"}));
  EXPECT_EQ(registry.deviceFor(1)->path, "/dev/ttyACM1");
  EXPECT_EQ(registry.deviceFor(3)->path, link);
  EXPECT_FALSE(registry.deviceFor(9));
}

}  // namespace
}  // namespace velmira::platform
