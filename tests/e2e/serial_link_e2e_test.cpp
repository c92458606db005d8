// The serial link against the simulated rail on a real pseudo-terminal:
// discovery, opening by number, the bytes on the line, their timing, the
// drain on close and an adapter that is unplugged.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "tests/support/sim_harness.h"

namespace velmira::test {
namespace {

class SerialLinkE2E : public ::testing::TestWithParam<SimMode> {
 protected:
  std::unique_ptr<SimulatedRail> rail(sim::Options o = {}) {
    return startRail(GetParam(), std::move(o), ports.path(), VELMIRA_SIM_EXE);
  }
  // The enumeration of the window, then the port opened by the number
  // behind "COM" in the only name it lists.
  void openOnlyPort() {
    std::vector<std::string> names = enumerator.displayNames();
    ASSERT_EQ(names.size(), 1u);
    const std::string number = names[0].substr(names[0].rfind("(COM") + 4);
    serial.setPortNumber(static_cast<int16_t>(std::atoi(number.c_str())));
    serial.open();
    serial.setSettings("9600,N,8,1");
  }

  PortsDir ports;
  platform::PortRegistry registry;
  platform::PortEnumerator enumerator{registry, nullptr, ports.path()};
  platform::PosixSerialPort serial{registry};
};

std::string slaveOf(const std::string& link) {
  char resolved[PATH_MAX];
  return realpath(link.c_str(), resolved) ? resolved : "";
}

TEST_P(SerialLinkE2E, TheScanListsThePublishedRailWithAComNumber) {
  sim::Options o;
  o.name = "velmira-sim-rail";
  auto r = rail(o);
  const std::string pts = slaveOf(r->linkPath()).substr(5);  // behind "/dev/"
  ASSERT_EQ(pts.rfind("pts/", 0), 0u);
  EXPECT_EQ(enumerator.displayNames(), std::vector<std::string>{"velmira-sim-rail (" + pts + ") (COM1)"});
  ASSERT_TRUE(registry.deviceFor(1));
  EXPECT_EQ(registry.deviceFor(1)->path, r->linkPath());
}

TEST_P(SerialLinkE2E, APortOpenedByItsNumberCarriesExactlyTheBytesWritten) {
  auto r = rail();
  openOnlyPort();
  for (const char* command : {"p", "a", "b", "c", "d", "p", "r", "s"}) serial.write(command);
  serial.close();
  ASSERT_TRUE(r->waitForBytes(8, 5000));
  sim::Summary s = r->stop();
  EXPECT_EQ(r->bytes(), "pabcdprs");
  EXPECT_EQ(s.tally.bytes, 8) << "nothing added: no line end, no terminator";
  EXPECT_EQ(s.tally.errors, 0);
}

TEST_P(SerialLinkE2E, CloseDeliversWhatWasWrittenJustBeforeIt) {
  auto r = rail();
  openOnlyPort();
  serial.write("a");
  serial.write("b");
  serial.write("p");
  serial.close();
  ASSERT_TRUE(r->waitForBytes(3, 5000));
  EXPECT_EQ(r->bytes(), "abp");
}

TEST_P(SerialLinkE2E, AWriteToAnUnpluggedAdapterFailsAtOnceSayingTheDeviceIsGone) {
  sim::Options o;
  o.vanishAfterBytes = 2;
  auto r = rail(o);
  openOnlyPort();
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

TEST_P(SerialLinkE2E, ARailThatVanishesAfterATimeFailsTheNextWrite) {
  sim::Options o;
  o.vanishAfterMs = 200;
  auto r = rail(o);
  openOnlyPort();
  serial.write("p");
  ASSERT_TRUE(r->waitForVanish(5000));
  EXPECT_THROW(serial.write("a"), platform::Failure);
  EXPECT_EQ(r->bytes(), "p");
}

INSTANTIATE_TEST_SUITE_P(Modes, SerialLinkE2E, ::testing::Values(SimMode::InProcess, SimMode::ChildProcess),
                         [](const auto& info) { return simModeName(info.param); });

TEST(SerialLinkTimingE2E, EachLetterIsOnTheLineBeforeTheWaitThatFollowsIt) {
  PortsDir ports;
  sim::Rail rail;
  sim::Options o;
  o.portsDir = ports.path();
  rail.start(o);
  platform::PortRegistry registry;
  platform::PortEnumerator enumerator{registry, nullptr, ports.path()};
  ASSERT_EQ(enumerator.displayNames().size(), 1u);
  platform::PosixSerialPort serial{registry};
  serial.setPortNumber(1);
  serial.open();
  serial.setSettings("9600,N,8,1");
  platform::SteadyClock clock;
  const std::string letters = "pabcd";
  std::vector<double> written;
  for (char c : letters) {
    written.push_back(platform::monotonicMs());
    serial.write(std::string(1, c));
    clock.sleepMs(60);  // the step delay
  }
  ASSERT_TRUE(rail.waitForBytes(letters.size(), 5000));
  std::vector<sim::Event> events = rail.events();
  for (size_t i = 0; i < letters.size(); ++i) {
    const double arrived = rail.startMs() + events[i].tMs;
    EXPECT_GE(arrived, written[i] - 0.01) << i;
    // Held back until after the wait, it would arrive 60 ms late.
    EXPECT_LT(arrived, written[i] + 30) << "letter " << letters[i] << " arrived after its wait";
    if (i > 0) {
      EXPECT_GT(events[i].tMs - events[i - 1].tMs, 30) << "the time between letters is the delay";
    }
  }
}

}  // namespace
}  // namespace velmira::test
