// The serial link against the simulated rail on a real pseudo-terminal:
// opening by number, the bytes on the line as each write returns, the drain
// on close and an adapter that is unplugged.
#include <gtest/gtest.h>

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

TEST_P(SerialLinkE2E, EachLetterIsOnTheLineWhenItsWriteReturns) {
  auto r = rail();
  openOnlyPort();
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

}  // namespace
}  // namespace velmira::test
