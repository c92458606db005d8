// The serial link and the velmira-sim program on a real pseudo-terminal:
// the board's reset when a port is opened again, the line rate, a rail
// that is unplugged or ended, and the program's exit codes, the port it
// publishes and removes, and what it prints (its help and an unknown option
// are checked with the window's, in the command-line test; its options and
// its event log: tests/scenarios/rail.scn; the window on the system's clock:
// tests/e2e/firmware_rail_e2e_test.cpp).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

namespace fs = std::filesystem;

class SerialLinkE2E : public ::testing::Test {
 protected:
  std::unique_ptr<ChildRail> rail(const std::vector<std::string>& args) {
    return std::make_unique<ChildRail>(VELMIRA_SIM_EXE, ports.path(), "rail", args);
  }
  // Opens the port of the rail as the window would, after a scan.
  void openPort() {
    enumerator.displayNames();
    serial.setPortNumber(1);
    serial.open();
    serial.setSettings("9600,N,8,1");
  }
  PortsDir ports;
  platform::PortRegistry registry;
  platform::PortEnumerator enumerator{registry, nullptr, ports.path()};
  platform::PosixSerialPort serial{registry};
  platform::SteadyClock clock;
};

TEST_F(SerialLinkE2E, ReopeningAPortThatTheLinkLeftWithoutHupclDoesNotResetTheBoardAgain) {
  auto r = rail({"--reset-ms", "150"});
  openPort();
  clock.sleepMs(200);  // connected for a while: the board is out of its reset
  serial.close();
  ASSERT_TRUE(r->waitForPortEvents(2, 5000));
  openPort();
  serial.write("p");  // at once: the board did not restart
  serial.close();
  ASSERT_TRUE(r->waitForBytes(1, 5000));
  EXPECT_FALSE(r->events()[0].ignored);
  ASSERT_TRUE(r->waitForPortEvents(4, 5000));
  // A program that leaves HUPCL set drops DTR when it closes the port, so
  // the next open resets the board once more.
  int fd = ::open(r->linkPath().c_str(), O_WRONLY | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios t {};
  tcgetattr(fd, &t);
  t.c_cflag |= HUPCL;
  tcsetattr(fd, TCSANOW, &t);
  ::close(fd);
  ASSERT_TRUE(r->waitForPortEvents(6, 5000));
  openPort();
  serial.write("a");
  ASSERT_TRUE(r->waitForBytes(2, 5000));
  EXPECT_TRUE(r->events()[1].ignored);
  std::vector<bool> restarts;
  for (const sim::Event& e : r->portEvents())
    if (e.kind == sim::Kind::PortOpen) restarts.push_back(e.ignored);
  EXPECT_EQ(restarts, (std::vector<bool>{true, false, false, true}));
  r->stop();
  EXPECT_EQ(r->figure("opens"), 4);
  EXPECT_EQ(r->figure("resets"), 2);
}

TEST_F(SerialLinkE2E, AtNineSixHundredBaudTheProgramNeverWritesFasterThanTheLine) {
  auto r = rail({"--baud", "9600"});
  openPort();
  // Twenty letters asked for back to back, as steps at speed 1 on a slow
  // machine would: nothing piles up behind the line, so a stop that
  // follows goes out at once.
  const double from = platform::monotonicMs();
  for (int i = 0; i < 20; ++i) serial.write("a");
  serial.write("p");
  // The last byte went out once the twenty before it had left the line.
  EXPECT_GE(platform::monotonicMs() - from, 20 * 10000.0 / 9600 - 0.01);
  // And it is on the line when its write returns: no later write or close
  // pushes it out.
  ASSERT_TRUE(r->waitForBytes(21, 5000));
  EXPECT_EQ(r->bytes(), std::string(20, 'a') + "p");
}

// A signal ends the program; 0: the rail unplugs itself after the fourth
// byte, and the link's next write fails at once, saying the device is gone.
TEST_F(SerialLinkE2E, ASignalOrAnUnpluggingEndsTheSimulatorCleanlyRemovingThePortAndPrintingTheSummary) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP, 0}) {
    auto r = rail({"--phase", "d", "--vanish-after-bytes", sig ? "1000" : "4"});
    openPort();
    serial.write("pabr");
    ASSERT_TRUE(r->waitForBytes(4, 5000));
    if (!sig) {
      ASSERT_TRUE(r->waitForVanish(5000)) << "it ends by itself";
      const double before = platform::monotonicMs();
      try {
        serial.write("b");
        ADD_FAILURE() << "the write to a vanished port succeeded";
      } catch (const platform::Failure& f) {
        EXPECT_EQ(f.detail(), platform::failureDetail(EIO));
      }
      EXPECT_LT(platform::monotonicMs() - before, 500.0) << "the failing write must not hang";
    }
    serial.close();
    EXPECT_FALSE(serial.isOpen());
    EXPECT_EQ(r->stop(sig), 0) << sig;
    EXPECT_FALSE(fs::is_symlink(r->linkPath())) << sig;
    EXPECT_TRUE(enumerator.displayNames().empty()) << "the port is no longer listed";
    EXPECT_EQ(r->figure("bytes"), 4);
    EXPECT_EQ(r->figure("position"), 2);
    EXPECT_EQ(r->figure("energised"), 1);
    EXPECT_EQ(r->figure("shots"), 1);
    EXPECT_EQ(r->figure("shutter_open"), 1) << "an r without its s leaves the output on";
    EXPECT_EQ(r->figure("vanished"), sig ? 0 : 1);
    EXPECT_NE(r->output().find("Carril simulado en /dev/pts/"), std::string::npos);
  }
}

// Its ports directory: made for this user only when it is missing; a port
// that cannot be published ends it with 1; the links of killed simulators
// go at the next start.  And the summary for people and the status line.
TEST(SimProgram, ThePortsDirectoryTheExitCodesAndTheSummaryForPeople) {
  PortsDir ports;  // the directory itself is missing
  ChildProcess p(VELMIRA_SIM_EXE, {"--dir", ports.path(), "--name", "rail", "--status", "--vanish-after-ms", "300"});
  EXPECT_EQ(p.wait(5000), 0);
  struct stat st {};
  ASSERT_EQ(stat(ports.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(st.st_uid, getuid());
  EXPECT_NE(p.output().find("Resumen del carril simulado\n  bytes recibidos: 0\n"), std::string::npos) << p.output();
  EXPECT_NE(p.output().find("desconexión simulada: sí"), std::string::npos);
  EXPECT_NE(p.errorOutput().find("\rposición 0  motor OFF  disparos 0  perdidos 0  errores 0  puerto cerrado"),
            std::string::npos)
      << p.errorOutput();

  const std::string taken = ports.path() + "/taken";  // a live link of that name
  // No process has the first number (above the kernel's largest pid).
  const std::string stale = ports.path() + "/velmira-sim-99999999-1";
  const std::string alive = ports.path() + "/velmira-sim-" + std::to_string(getpid()) + "-7";
  fs::create_symlink("/dev/null", taken);
  fs::create_symlink("/dev/pts/999", stale);
  fs::create_symlink("/dev/pts/998", alive);
  const std::pair<std::vector<std::string>, int> runs[] = {{{"--dir", "relative/ports"}, 1},
                                                           {{"--dir", ports.path(), "--name", "taken"}, 1},
                                                           {{"--dir", ports.path(), "--vanish-after-ms", "100"}, 0}};
  for (const auto& [args, code] : runs) {
    ChildProcess run(VELMIRA_SIM_EXE, args);
    EXPECT_EQ(run.wait(5000), code) << args.back();
    EXPECT_EQ(run.errorOutput().empty(), code == 0) << args.back() << ": " << run.errorOutput();
  }
  EXPECT_EQ(fs::read_symlink(taken), "/dev/null") << "someone else's link is kept";
  EXPECT_FALSE(fs::is_symlink(stale));
  EXPECT_TRUE(fs::is_symlink(alive)) << "the link of a running simulator stays";
}

TEST(SimProgram, TheSummaryNamesEveryFigure) {
  sim::Summary s;
  s.tally.bytes = 7;
  s.tally.position = -2;
  s.tally.lost = 3;
  s.tally.lostDuringReset = 1;
  s.tally.shots = 1;
  s.tally.holds = {1000.5};
  s.opens = 2;
  s.resets = 1;
  s.maxQueue = 9;
  s.vanished = true;
  EXPECT_EQ(sim::summaryJson(s),
            R"({"bytes":7,"position":-2,"energised":false,"steps_forward":0,"steps_backward":0,"lost":3,)"
            R"("lost_during_reset":1,"shots":1,"holds_ms":[1000.500],"shutter_open":false,"errors":0,"opens":2,)"
            R"("resets":1,"max_queue":9,"vanished":true})");
  const std::string text = sim::summaryText(s);
  for (const char* part : {"posición: -2 pasos", "pasos perdidos: 3 (1 durante el reinicio)", "disparos: 1",
                           "mayor cola de entrada: 9 bytes", "desconexión simulada: sí"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace velmira::test
