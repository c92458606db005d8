// The Linux serial port on a real pseudo-terminal: bytes, settings and the
// causes of failures a user can act on (the line's pace and an unplugged
// adapter against the simulated rail: tests/e2e/serial_link_e2e_test.cpp; a
// busy port: tests/scenarios/rail.scn).
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

#include "platform/posix_serial_port.h"

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

TEST(PosixSerialPort, WritesExactlyTheBytesOfEachCommandAtNineSixHundredEightNOne) {
  Pty pty;
  PosixSerialPort port = portFor(pty.slave);
  port.setPortNumber(3);
  port.open();
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
}

TEST(PosixSerialPort, ThePortNumberCannotChangeWhileOpenAndAClosedPortRefusesWrites) {
  Pty pty;
  PosixSerialPort port = portFor(pty.slave);
  EXPECT_THROW(port.write("p"), Failure);
  port.open();
  EXPECT_THROW(port.setPortNumber(4), Failure);
  EXPECT_THROW(port.open(), Failure);
  port.close();
  EXPECT_THROW(port.write("p"), Failure);
  EXPECT_NO_THROW(port.setPortNumber(4));
}

TEST(PosixSerialPort, APortWithoutPermissionNamesTheGroupAndTheCommand) {
  Pty pty;
  ASSERT_EQ(chmod(pty.slave.c_str(), 0), 0);
  // Root may open anything: the check runs as an ordinary user in a child.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(10);
    PosixSerialPort port = portFor(pty.slave);
    try {
      port.open();
      _exit(11);
    } catch (const Failure& f) {
      bool ok = f.detail().find("\"dialout\"") != std::string::npos &&
                f.detail().find("sudo usermod -aG dialout $USER") != std::string::npos;
      _exit(ok ? 0 : 12);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PosixSerialPort, AVirtualPortIsCheckedAgainWhenItIsOpened) {
  // The link was listed while it pointed at the user's terminal; by the
  // time the user connects it may point anywhere.
  Pty pty;
  char tmpl[] = "/tmp/velmira-ports-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string file = dir + "/plain-file";
  std::ofstream(file) << "x";
  struct Case { const char* what; std::string target; bool opens; };
  const Case cases[] = {{"the user's terminal", pty.slave, true},
                        {"a device that is no terminal", "/dev/null", false},
                        {"the terminal multiplexer", "/dev/pts/ptmx", false},
                        {"a file", file, false},
                        {"nothing", dir + "/gone", false}};
  for (const Case& c : cases) {
    const std::string link = dir + "/carril";
    ::unlink(link.c_str());
    ASSERT_EQ(symlink(c.target.c_str(), link.c_str()), 0);
    PosixSerialPort port = portFor(link);
    if (c.opens) {
      port.open();
      port.write("p");
      EXPECT_EQ(pty.readAvailable(), "p") << c.what;
      port.close();
    } else {
      EXPECT_THROW(port.open(), Failure) << c.what;
      EXPECT_FALSE(port.isOpen()) << c.what;
    }
  }
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x") << "the file was not written";
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmira::platform
