// The program as a process.  Its command lines: help and version without a
// window, anything else refused with status 2; where there is no display
// (a terminal over SSH, a service) the options are still read, and the
// window that cannot open says so in one Spanish line with status 1, no
// core dump.  And its end from outside in the middle of its work: a signal
// (SIGTERM, SIGINT, SIGHUP) or its X server gone (a logout), during a long
// move or a shot's 1000 ms hold.  The controller is left safe (a held
// shutter output released at once, the motor off) before the process ends,
// by the signal or with status 1.  The program runs as a child on the
// simulated rail's pseudo-terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "qt/ending.h"
#include "sim/virtual_port.h"
#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

TEST(CommandLine, HelpVersionUnknownOptionsAndNoDisplay) {
  const std::string help = "Pruebe «velmira --help».\n";
  const std::string needs = "; la ventana de Velmira necesita una sesión de escritorio.\n";
  // With a display at hand, as on a desktop, the first line of ours counts;
  // without one, the whole error output.
  const std::vector<std::string> desktop = {"QT_QPA_PLATFORM=offscreen"};
  const std::vector<std::string> none = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
  std::vector<std::string> stale = none;
  stale.push_back("DISPLAY=:32123");  // a display named but not there (a stale DISPLAY over SSH)
  struct Case { std::vector<std::string> env; std::string exe; std::vector<std::string> args; int status; std::string out; };
  std::vector<Case> cases = {
      {desktop, VELMIRA_EXE, {"--help"}, 0, "Uso: velmira [opciones]"},
      {desktop, VELMIRA_EXE, {"-h"}, 0, "Uso: velmira [opciones]"},
      {desktop, VELMIRA_EXE, {"--version"}, 0, "velmira " VELMIRA_VERSION},
      {desktop, VELMIRA_EXE, {"--nada"}, 2, "velmira: opción desconocida: --nada"},
      {desktop, VELMIRA_EXE, {"fichero"}, 2, "velmira: opción desconocida: fichero"},
#ifdef VELMIRA_SIM_EXE
      {desktop, VELMIRA_SIM_EXE, {"--help"}, 0, "Uso: velmira-sim [opciones]"},
      {desktop, VELMIRA_SIM_EXE, {"--version"}, 0, "velmira-sim " VELMIRA_VERSION},
      {desktop, VELMIRA_SIM_EXE, {"--nada"}, 2, "velmira-sim: Opción desconocida: --nada"},
#endif
      {none, VELMIRA_EXE, {"--nada"}, 2, "velmira: opción desconocida: --nada\n" + help},
      {none, VELMIRA_EXE, {"-platform"}, 2, "velmira: falta el valor de la opción -platform\n" + help},
      {none, VELMIRA_EXE, {}, 1, "velmira: no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY están vacías)" + needs},
      {stale, VELMIRA_EXE, {}, 1, "velmira: no se puede abrir la pantalla gráfica «:32123»" + needs},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.env;
    args.push_back(c.exe);
    args.insert(args.end(), c.args.begin(), c.args.end());
    test::ChildProcess p("/usr/bin/env", args);
    const std::string what = c.exe + " " + (c.args.empty() ? "(no options)" : c.args[0]);
    EXPECT_EQ(p.wait(10000), c.status) << what;
    std::string out = c.status == 0 ? p.output() : p.errorOutput();
    if (c.env != desktop) {
      EXPECT_EQ(out, c.out) << what;
      continue;
    }
    // Qt's own notes on the error output come before ours.
    out = out.substr(std::min(out.size(), out.find(c.out.substr(0, 8))));
    EXPECT_EQ(out.substr(0, out.find('\n')), c.out) << what;
  }
}

// A private X server, on a display number of its own choice.
struct XServer {
  test::ChildProcess server{"/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}};
  std::string display() {
    test::pollUntil([&] { return server.output().find('\n') != std::string::npos; }, 10000);
    return ":" + server.output().substr(0, server.output().find('\n'));
  }
};

// The signal (0: the display goes away), and whether during a move (else
// during a shutter hold).
class EndFromOutside : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(EndFromOutside, LeavesTheControllerSafeBeforeTheProcessEnds) {
  const auto [signal, mover] = GetParam();
  test::PortsDir ports;
  sim::Rail rail;
  sim::Options o;
  o.portsDir = ports.path();
  o.name = "velmira-sim-ending";
  o.restPhase = 'd';
  rail.start(o);
  std::optional<XServer> x;
  std::vector<std::string> args{ports.path(), mover ? "mover" : "disparo", "-platform", "offscreen"};
  if (signal == 0) {
    x.emplace();
    args.back() = "xcb";
    args.insert(args.end(), {"-display", x->display()});
  }
  test::ChildProcess program(VELMIRA_END_CHILD, args);
  // In the middle of the move, or of the shutter hold of the second photo.
  ASSERT_TRUE(test::pollUntil(
      [&] {
        const std::string b = rail.bytes();
        return mover ? b.size() >= 30 : b.find('r', b.find('s')) != std::string::npos;
      },
      10000))
      << rail.bytes() << program.errorOutput();
  const double endedMs = platform::monotonicMs() - rail.startMs();
  if (x) x->server.signal(SIGTERM); else program.signal(signal);
  EXPECT_EQ(program.wait(5000), x ? 1 : 128 + signal) << program.errorOutput();
  // The rail reads on its own thread: the last bytes are in once it has
  // seen the port close.
  test::pollUntil([&] { auto p = rail.portEvents(); return !p.empty() && p.back().kind == sim::Kind::PortClose; }, 5000);
  const std::vector<sim::Event> e = rail.events();
  const std::string b = rail.bytes();
  ASSERT_GE(b.size(), 3u);
  if (mover) {
    EXPECT_EQ(b.back(), 'p') << b;
    EXPECT_NE(std::string("abcd").find(b[b.size() - 2]), std::string::npos) << b;
  } else {
    EXPECT_EQ(b.substr(b.size() - 3), "rsp") << b;
    // The hold lasts 1000 ms: an "s" well before that was not waited out,
    // however loaded the machine.
    EXPECT_LT(e[e.size() - 2].tMs - endedMs, 800) << "the hold is not waited out";
  }
  EXPECT_EQ(rail.lost(), 0);
}

INSTANTIATE_TEST_SUITE_P(Ends, EndFromOutside,
                         ::testing::Combine(::testing::Values(SIGTERM, SIGINT, SIGHUP, 0), ::testing::Bool()),
                         [](const auto& i) {
                           const int s = std::get<0>(i.param);
                           return std::string(s == SIGTERM ? "Term" : s == SIGINT ? "Int" : s == SIGHUP ? "Hup" : "DisplayGone") +
                                  (std::get<1>(i.param) ? "DuringAMove" : "DuringAShutterHold");
                         });

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
  test::ChildProcess program(VELMIRA_END_CHILD, {ports.path(), "mover", "-platform", "offscreen"});
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
  // buffers, takes no more.  (A real sleep: the kernel's own buffers are
  // out of reach of any clock of ours, and poll's POLLOUT on a terminal
  // already says no while a few hundred bytes still fit.)
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

// A signal ignored when the program started (nohup, a background job)
// stays ignored, and the handlers there before come back when the window
// ends.
extern "C" void earlierHandler(int) {}

using Handler = void (*)(int);
Handler handlerOf(int signal, std::optional<Handler> set = std::nullopt) {
  struct sigaction a {};
  if (set) a.sa_handler = *set;
  sigaction(signal, set ? &a : nullptr, set ? nullptr : &a);
  return a.sa_handler;
}

TEST(EndFromOutsideSignals, KeepsIgnoredSignalsIgnoredAndRestoresTheHandlersBefore) {
  struct Case { int signal; Handler before; bool taken; };
  const Case cases[] = {{SIGHUP, SIG_IGN, false}, {SIGTERM, earlierHandler, true}, {SIGINT, SIG_DFL, true}};
  std::vector<Handler> saved;
  for (const Case& c : cases) {
    saved.push_back(handlerOf(c.signal));
    handlerOf(c.signal, c.before);
  }
  {
    test::Rig rig;
    qt::QtProcess process;
    qt::EndFromOutside ending(rig.form(), process);
    for (const Case& c : cases) EXPECT_EQ(handlerOf(c.signal) != c.before, c.taken) << strsignal(c.signal);
  }
  for (const Case& c : cases) EXPECT_EQ(handlerOf(c.signal), c.before) << strsignal(c.signal);
  for (size_t i = 0; i < std::size(cases); ++i) handlerOf(cases[i].signal, saved[i]);
}

}  // namespace
}  // namespace velmira
