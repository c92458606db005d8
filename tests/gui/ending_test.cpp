// The program ended from outside (SIGTERM, SIGINT, SIGHUP) in the middle of
// its work leaves the controller safe: a held shutter output is released at
// once, the motor is switched off, and the program then ends by the signal.
// The program runs as a child on the simulated rail's pseudo-terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

struct EndCase {
  int signal;
  const char* mode;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << strsignal(c.signal) << " " << c.mode; }

class EndFromOutside : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndFromOutside, LeavesTheControllerSafeAndEndsByTheSignal) {
  const EndCase& c = GetParam();
  test::PortsDir ports;
  sim::Rail rail;
  sim::Options o;
  o.portsDir = ports.path();
  o.name = "velmira-sim-ending";
  o.restPhase = 'd';
  rail.start(o);
  test::ChildProcess program(VELMIRA_ENDING_CHILD, {ports.path(), c.mode});
  const bool mover = std::string(c.mode) == "mover";
  // In the middle of the move, or of the shutter hold of the second photo.
  ASSERT_TRUE(test::pollUntil(
      [&] {
        const std::string b = rail.bytes();
        return mover ? b.size() >= 30 : b.find('r', b.find('s')) != std::string::npos;
      },
      10000))
      << rail.bytes() << program.errorOutput();
  const double signalledMs = platform::monotonicMs() - rail.startMs();
  program.signal(c.signal);
  EXPECT_EQ(program.wait(5000), 128 + c.signal) << program.errorOutput();
  // The rail reads on its own thread: the last bytes are in once it has
  // seen the port close.
  test::pollUntil(
      [&] {
        const std::vector<sim::Event> p = rail.portEvents();
        return !p.empty() && p.back().kind == sim::Kind::PortClose;
      },
      5000);
  const std::vector<sim::Event> e = rail.events();
  const std::string b = rail.bytes();
  ASSERT_GE(b.size(), 3u);
  if (mover) {
    EXPECT_EQ(b.back(), 'p') << b;
    EXPECT_NE(std::string("abcd").find(b[b.size() - 2]), std::string::npos) << b;
  } else {
    EXPECT_EQ(b.substr(b.size() - 3), "rsp") << b;
    // The hold lasts 1000 ms: an "s" well before that was not waited out, however
    // loaded the machine.
    EXPECT_LT(e[e.size() - 2].tMs - signalledMs, 800) << "the hold is not waited out";
  }
  EXPECT_EQ(rail.lost(), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, EndFromOutside,
                         ::testing::Values(EndCase{SIGTERM, "mover"}, EndCase{SIGINT, "mover"},
                                           EndCase{SIGHUP, "mover"}, EndCase{SIGTERM, "disparo"},
                                           EndCase{SIGINT, "disparo"}, EndCase{SIGHUP, "disparo"}),
                         [](const auto& i) {
                           return std::string(i.param.signal == SIGTERM ? "Term"
                                              : i.param.signal == SIGINT ? "Int"
                                                                         : "Hup") +
                                  (std::string(i.param.mode) == "mover" ? "DuringAMove" : "DuringAShutterHold");
                         });

}  // namespace
}  // namespace velmira
