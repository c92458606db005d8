// The program's window ended from under it: its X server goes away (a
// logout) in the middle of a move or of a shot's 1000 ms hold, and the
// controller is left safe ("s" for a held shutter output, then "p") before
// the process ends; or its line stalls and a signal still ends it promptly.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "sim/virtual_port.h"
#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

// A private X server for one test, on a display number of its own choice.
class XServer {
 public:
  XServer() : server_("/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}) {
    test::pollUntil([&] { return server_.output().find('\n') != std::string::npos; }, 10000);
    display_ = ":" + server_.output().substr(0, server_.output().find('\n'));
  }
  const std::string& display() const { return display_; }
  void end() { server_.signal(SIGTERM); }

 private:
  test::ChildProcess server_;
  std::string display_;
};

struct Started {
  test::PortsDir ports;
  sim::Rail rail;
  explicit Started(const char* name) {
    sim::Options o;
    o.portsDir = ports.path();
    o.name = name;
    o.restPhase = 'd';
    rail.start(o);
  }
  // In the middle of the move, or of the shutter hold of the second photo.
  bool working(bool mover) {
    return test::pollUntil(
        [&] {
          const std::string b = rail.bytes();
          return mover ? b.size() >= 30 : b.find('r', b.find('s')) != std::string::npos;
        },
        10000);
  }
  // Every byte, once the rail has read up to the port's close: the rail
  // reads on its own thread, after the program has ended.
  std::string bytesToTheClose() {
    test::pollUntil(
        [&] {
          const std::vector<sim::Event> p = rail.portEvents();
          return !p.empty() && p.back().kind == sim::Kind::PortClose;
        },
        5000);
    return rail.bytes();
  }
};

class DisplayGone : public ::testing::TestWithParam<const char*> {};

TEST_P(DisplayGone, LeavesTheControllerSafeBeforeTheProcessEnds) {
  const bool mover = std::string(GetParam()) == "mover";
  Started s("velmira-sim-display-gone");
  XServer x;
  ASSERT_FALSE(x.display().empty());
  test::ChildProcess program(VELMIRA_WINDOW_END_CHILD, {s.ports.path(), GetParam(), "-platform", "xcb", "-display", x.display()});
  ASSERT_TRUE(s.working(mover)) << s.rail.bytes() << program.errorOutput();
  const double endedMs = platform::monotonicMs() - s.rail.startMs();
  x.end();
  EXPECT_EQ(program.wait(5000), 1) << program.errorOutput();
  const std::string b = s.bytesToTheClose();
  ASSERT_GE(b.size(), 3u);
  if (mover) {
    EXPECT_EQ(b.back(), 'p') << b;
  } else {
    EXPECT_EQ(b.substr(b.size() - 3), "rsp") << b;
    const std::vector<sim::Event> e = s.rail.events();
    // The hold lasts 1000 ms: an "s" well before that was not waited out.
    EXPECT_LT(e[e.size() - 2].tMs - endedMs, 800) << "the hold is not waited out";
  }
}

INSTANTIATE_TEST_SUITE_P(Work, DisplayGone, ::testing::Values("mover", "disparo"),
                         [](const auto& i) { return std::string(i.param) == "mover" ? "DuringAMove" : "DuringAShutterHold"; });

// A line nobody reads any more, in the middle of a move, filled up to the
// last byte the kernel takes: the program's next step finds no room, and a
// signal then ends it within the one second that step waits, with no
// further wait for the "p" or the close.
TEST(StalledLine, TheProgramEndsWithinOneWriteTimeoutOfASignal) {
  test::PortsDir ports;
  sim::VirtualPort port(ports.path(), "velmira-stalled");
  port.publish();
  // Opened before the program takes the port for itself.
  const int line = ::open(port.slavePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(line, 0);
  test::ChildProcess program(VELMIRA_WINDOW_END_CHILD, {ports.path(), "mover", "-platform", "offscreen"});
  size_t read = 0;
  ASSERT_TRUE(test::pollUntil(
      [&] {
        char buf[256];
        ssize_t n = ::read(port.master(), buf, sizeof buf);
        read += n > 0 ? static_cast<size_t>(n) : 0;
        return read >= 20;
      },
      10000))
      << program.errorOutput();
  // Full once the kernel, given time to move what it holds between its
  // buffers, takes no more.
  ASSERT_TRUE(test::pollUntil(
      [&] {
        bool took = false;
        while (::write(line, "p", 1) > 0) took = true;
        usleep(50'000);
        return !took;
      },
      10000));
  const double signalled = platform::monotonicMs();
  program.signal(SIGTERM);
  EXPECT_EQ(program.wait(5000), 128 + SIGTERM) << program.errorOutput();
  EXPECT_LT(platform::monotonicMs() - signalled, 1500) << program.errorOutput();
  ::close(line);
}

}  // namespace
}  // namespace velmira
