// The serial link against the simulated rail on a real pseudo-terminal, the
// rail in this process and as the velmira-sim program: the port number of a
// device that comes back, the board's reset when a port is opened again,
// the line rate, the bytes on the line as each write returns, an adapter
// that is unplugged, and the system's clock the simulator and the
// benchmarks wait on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

class SerialLinkE2E : public ::testing::TestWithParam<SimMode> {
 protected:
  std::unique_ptr<SimulatedRail> rail(sim::Options o = {}) {
    return startRail(GetParam(), std::move(o), ports.path(), VELMIRA_SIM_EXE);
  }
  // Opens the port of `number` as the window would, after a scan.
  void openPort(int16_t number) {
    enumerator.displayNames();
    serial.setPortNumber(number);
    serial.open();
    serial.setSettings("9600,N,8,1");
  }
  PortsDir ports;
  platform::PortRegistry registry;
  platform::PortEnumerator enumerator{registry, nullptr, ports.path()};
  platform::PosixSerialPort serial{registry};
  platform::SteadyClock clock;
};

sim::Options named(const std::string& name) {
  sim::Options o;
  o.name = name;
  return o;
}

bool hasName(const std::vector<std::string>& names, const std::string& start, const std::string& end) {
  for (const std::string& n : names)
    if (n.rfind(start, 0) == 0 && n.size() >= end.size() && n.compare(n.size() - end.size(), end.size(), end) == 0)
      return true;
  return false;
}

TEST_P(SerialLinkE2E, ADeviceThatDisappearsAndComesBackKeepsItsNumber) {
  auto first = rail(named("rail"));
  auto other = rail(named("other"));
  std::vector<std::string> names = enumerator.displayNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(hasName(names, "other (pts/", ") (COM1)"));
  EXPECT_TRUE(hasName(names, "rail (pts/", ") (COM2)"));
  first->stop();
  names = enumerator.displayNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(hasName(names, "other (pts/", ") (COM1)"));
  // Plugged back in (on another terminal, under the same name).
  auto again = rail(named("rail"));
  names = enumerator.displayNames();
  EXPECT_TRUE(hasName(names, "rail (pts/", ") (COM2)"));
  openPort(2);
  serial.write("p");
  ASSERT_TRUE(again->waitForBytes(1, 5000));
  EXPECT_EQ(again->bytes(), "p") << "number 2 opens the device that came back";
  EXPECT_EQ(other->bytes(), "");
}

TEST_P(SerialLinkE2E, ReopeningAPortThatTheLinkLeftWithoutHupclDoesNotResetTheBoardAgain) {
  sim::Options o;
  o.resetMs = 150;
  auto r = rail(o);
  openPort(1);
  clock.sleepMs(200);  // connected for a while: the board is out of its reset
  serial.close();
  ASSERT_TRUE(r->waitForPortEvents(2, 5000));
  openPort(1);
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
  openPort(1);
  serial.write("a");
  ASSERT_TRUE(r->waitForBytes(2, 5000));
  EXPECT_TRUE(r->events()[1].ignored);
  std::vector<bool> restarts;
  for (const sim::Event& e : r->portEvents())
    if (e.kind == sim::Kind::PortOpen) restarts.push_back(e.ignored);
  EXPECT_EQ(restarts, (std::vector<bool>{true, false, false, true}));
  sim::Summary s = r->stop();
  EXPECT_EQ(s.opens, 4);
  EXPECT_EQ(s.resets, 2);
}

TEST_P(SerialLinkE2E, AtNineSixHundredBaudTheProgramNeverWritesFasterThanTheLine) {
  sim::Options o;
  o.baud = 9600;
  auto r = rail(o);
  openPort(1);
  // Twenty letters asked for back to back, as steps at speed 1 on a slow
  // machine would: nothing piles up behind the line, so a stop that
  // follows goes out at once.
  const double from = platform::monotonicMs();
  for (int i = 0; i < 20; ++i) serial.write("a");
  serial.write("p");
  // The last byte went out once the twenty before it had left the line.
  EXPECT_GE(platform::monotonicMs() - from, 20 * 10000.0 / 9600 - 0.01);
  ASSERT_TRUE(r->waitForBytes(21, 5000));
  EXPECT_EQ(r->bytes(), std::string(20, 'a') + "p");
}

TEST_P(SerialLinkE2E, AWriteToAnUnpluggedAdapterFailsAtOnceSayingTheDeviceIsGone) {
  sim::Options o;
  o.vanishAfterBytes = 2;
  auto r = rail(o);
  openPort(1);
  serial.write("p");
  serial.write("a");
  ASSERT_TRUE(r->waitForVanish(5000));
  EXPECT_TRUE(enumerator.displayNames().empty()) << "the unplugged port is no longer listed";
  const double before = platform::monotonicMs();
  try {
    serial.write("b");
    FAIL() << "the write to a vanished port succeeded";
  } catch (const platform::Failure& f) {
    EXPECT_EQ(f.detail(), platform::failureDetail(EIO));
  }
  EXPECT_LT(platform::monotonicMs() - before, 500.0) << "the failing write must not hang";
  serial.close();
  EXPECT_FALSE(serial.isOpen());
  EXPECT_EQ(r->bytes(), "pa");
}

TEST_P(SerialLinkE2E, EachLetterIsOnTheLineWhenItsWriteReturns) {
  auto r = rail();
  openPort(1);
  // Nothing written after it and no close pushes it out: a letter that sat
  // in a buffer would reach the rail only after the wait that follows it.
  const std::string letters = "pabcd";
  for (size_t i = 0; i < letters.size(); ++i) {
    serial.write(std::string(1, letters[i]));
    EXPECT_TRUE(r->waitForBytes(i + 1, 5000)) << letters[i];
  }
  EXPECT_EQ(r->bytes(), letters);
}

INSTANTIATE_TEST_SUITE_P(Modes, SerialLinkE2E, ::testing::Values(SimMode::InProcess, SimMode::ChildProcess),
                         [](const auto& info) { return simModeName(info.param); });

// An ordinary user, unlike root, cannot open a terminal that another open
// left exclusive: the link must give up its exclusive use when it closes,
// or the same user could not connect to the same port a second time.
TEST(SerialReconnectE2E, AnOrdinaryUserCanConnectToTheSamePortAgain) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    int code = 0;
    try {
      PortsDir ports;
      sim::Rail rail;
      sim::Options o;
      o.portsDir = ports.path();
      rail.start(o);
      platform::PosixSerialPort serial([&](int16_t) { return std::optional<std::string>(rail.linkPath()); });
      for (const char* command : {"p", "a"}) {
        serial.open();
        serial.write(command);
        serial.close();
      }
      code = rail.waitForBytes(2, 5000) && rail.bytes() == "pa" ? 0 : 1;
    } catch (const platform::Failure& f) {
      code = 2;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: the second open failed; 1: bytes missing; 3: no ordinary user";
}

// The board restarts when the port is opened, on the real clock: the window
// waits for it before the first step (the window's other ends on the rail:
// tests/scenarios/rail.scn).
TEST(WindowOnTheRealClockE2E, AMoveRightAfterConnectingWaitsForTheBoardAndLosesNoStep) {
  PortsDir ports;
  sim::Rail rail;
  sim::Options o;
  o.portsDir = ports.path();
  o.name = "velmira-sim-window";
  o.restPhase = 'd';
  o.resetMs = 1000;
  rail.start(o);
  Rig rig{{.portsDir = ports.path(), .realTime = true}};
  ASSERT_TRUE(rig.start());
  rig.connect(o.name);
  rig.form().hscVelocidad.setValue(40);
  rig.form().Text9.setText("5");
  rig.form().Mover.click();
  ASSERT_TRUE(rail.waitForBytes(7, 5000));
  std::vector<sim::Event> e = rail.events();
  EXPECT_EQ(rail.bytes(), "pabcdap");
  EXPECT_TRUE(e[0].ignored) << "the connect's motor-off meets the boot loader; the motor is off anyway";
  for (size_t i = 1; i < e.size(); ++i) EXPECT_FALSE(e[i].ignored) << i;
  EXPECT_EQ(rail.position(), 5);
}

TEST(SteadyClockE2E, WaitsTheWholeTimeAndNothingForZeroOrLess) {
  platform::SteadyClock clock;
  const std::vector<std::pair<int32_t, double>> waits = {{30, 30}, {0, 0}, {-5, 0}};
  for (const auto& [ms, least] : waits) {
    const double before = platform::monotonicMs();
    clock.sleepMs(ms);
    const double took = platform::monotonicMs() - before;
    EXPECT_GE(took, least) << ms;
  }
  const int64_t a = clock.nowMs();
  clock.sleepMs(5);
  EXPECT_GE(clock.nowMs() - a, 5);
}

}  // namespace
}  // namespace velmira::test
