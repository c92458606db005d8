// The velmira-sim program itself: its exit codes, the port it publishes
// and removes, and what it prints (its help and an unknown option are
// checked with the window's, in the command-line test).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// Runs the program until it ends by itself.
struct Finished {
  int code;
  std::string out, err;
};
Finished run(const std::vector<std::string>& args) {
  ChildProcess p(VELMIRA_SIM_EXE, args);
  int code = p.wait(5000);
  return {code, p.output(), p.errorOutput()};
}

TEST(SimProgram, EndsWithOneWhenThePortCannotBePublished) {
  PortsDir ports;
  std::filesystem::create_directories(ports.path());
  std::filesystem::create_symlink("/dev/null", ports.path() + "/taken");  // a live link of that name
  const std::vector<std::vector<std::string>> cases = {
      {"--dir", "relative/ports"},
      {"--dir", ports.path(), "--name", "taken"},
  };
  for (const auto& args : cases) {
    Finished r = run(args);
    EXPECT_EQ(r.code, 1) << args.back();
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_EQ(std::filesystem::read_symlink(ports.path() + "/taken"), "/dev/null") << "someone else's link is kept";
}

TEST(SimProgram, ASignalEndsItCleanlyRemovingThePortAndPrintingTheSummary) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    PortsDir ports;
    sim::Options o;
    o.name = "rail";
    o.restPhase = 'd';
    ChildRail rail(o, ports.path(), VELMIRA_SIM_EXE);
    platform::PosixSerialPort serial([&](int16_t) { return std::optional<std::string>(rail.linkPath()); });
    serial.open();
    serial.write("pabr");
    serial.close();
    ASSERT_TRUE(rail.waitForBytes(4, 5000));
    sim::Summary s = rail.stop(sig);
    EXPECT_EQ(rail.exitCode(), 0) << sig;
    EXPECT_FALSE(exists(rail.linkPath())) << sig;
    EXPECT_EQ(s.tally.bytes, 4);
    EXPECT_EQ(s.tally.position, 2);
    EXPECT_TRUE(s.tally.energised);
    EXPECT_EQ(s.tally.shots, 1);
    EXPECT_TRUE(s.tally.shutterOpen) << "an r without its s leaves the output on";
    EXPECT_NE(rail.output().find("Carril simulado en /dev/pts/"), std::string::npos);
  }
}

TEST(SimProgram, VanishingEndsTheProgramByItselfAndRemovesThePort) {
  PortsDir ports;
  sim::Options o;
  o.vanishAfterBytes = 3;
  ChildRail rail(o, ports.path(), VELMIRA_SIM_EXE);
  platform::PosixSerialPort serial([&](int16_t) { return std::optional<std::string>(rail.linkPath()); });
  serial.open();
  serial.write("pab");
  ASSERT_TRUE(rail.waitForVanish(5000));
  EXPECT_FALSE(exists(rail.linkPath()));
  sim::Summary s = rail.stop();
  EXPECT_EQ(rail.exitCode(), 0);
  EXPECT_TRUE(s.vanished);
  EXPECT_EQ(s.tally.bytes, 3);
}

TEST(SimProgram, TheSummaryForPeopleTheLiveStatusLineAndAPortsDirectoryForThisUserOnly) {
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
}

TEST(SimProgram, LinksLeftByAKilledSimulatorAreRemovedAtTheNextStart) {
  PortsDir ports;
  std::filesystem::create_directories(ports.path());
  // No process has this number (above the kernel's largest pid).
  const std::string stale = ports.path() + "/velmira-sim-99999999-1";
  const std::string alive = ports.path() + "/velmira-sim-" + std::to_string(getpid()) + "-7";
  std::filesystem::create_symlink("/dev/pts/999", stale);
  std::filesystem::create_symlink("/dev/pts/998", alive);
  ChildProcess p(VELMIRA_SIM_EXE, {"--dir", ports.path(), "--vanish-after-ms", "100"});
  EXPECT_EQ(p.wait(5000), 0);
  EXPECT_FALSE(exists(stale));
  EXPECT_TRUE(exists(alive)) << "the link of a running simulator stays";
}

}  // namespace
}  // namespace velmira::test
