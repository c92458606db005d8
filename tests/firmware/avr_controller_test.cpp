// The rail read off the real firmware's pins: what velmira-sim --avr makes
// of each byte, with both motor drivers, in the rail's own time.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/avr_controller.h"
#include "tests/firmware/firmware_support.h"

namespace velmira::sim {
namespace {

using firmware::test::kFourWireElf;
using firmware::test::kStepDirElf;
const std::string kStepDirHex = VELMIRA_FIRMWARE_STEPDIR_HEX;

constexpr double kGapMs = 2.0;  // between bytes, as at the fastest speed

// Feeds the bytes `kGapMs` apart from `startMs`; the kinds, space separated.
std::string feed(AvrController& c, const std::string& bytes, double startMs = 10.0) {
  std::string out;
  double t = startMs;
  for (char b : bytes) {
    out += std::string(out.empty() ? "" : " ") + kindName(c.feed(static_cast<unsigned char>(b), t).kind);
    t += kGapMs;
  }
  return out;
}

TEST(AvrController, TellsTheDriverByThePinsTheFirmwareDrives) {
  EXPECT_EQ(AvrController(kStepDirElf).backend(), Backend::StepDir);
  EXPECT_EQ(AvrController(kStepDirHex).backend(), Backend::StepDir) << "the file that is flashed";
  EXPECT_EQ(AvrController(kFourWireElf).backend(), Backend::FourWire);

  const std::string junk = testing::TempDir() + "/not-firmware.hex";
  std::ofstream(junk) << "esto no es un firmware\n";
  for (const std::string& path : {junk, testing::TempDir() + "/missing.elf"}) {
    try {
      AvrController c(path);
      ADD_FAILURE() << path << " was loaded";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind("No se puede leer el firmware " + path, 0), 0u) << e.what();
    }
  }
}

TEST(AvrController, ReadsEveryByteOffThePinsOfEitherDriver) {
  struct Case {
    const char* what;
    const std::string& image;
    std::string bytes;
    std::string kinds;
    int64_t position, forward, backward, lost, errors;
    bool energised;
  };
  const Case cases[] = {
      // The STEP/DIR firmware starts from "d", the host's own first phase.
      {"step/dir: forward 4, back 2", kStepDirElf, "pabcdcbp", "off step+ step+ step+ step+ step- step- off", 2, 4, 2, 0,
       0, false},
      {"step/dir: the same letter after p only enables", kStepDirElf, "abpb", "step+ step+ off energise", 2, 2, 0, 0, 0,
       true},
      {"step/dir: a jump of two moves nothing", kStepDirElf, "ac", "step+ lost", 1, 1, 0, 1, 0, true},
      {"step/dir: the same letter while on moves nothing", kStepDirElf, "aa", "step+ lost", 1, 1, 0, 1, 0, true},
      {"step/dir: other bytes are errors and change nothing", kStepDirElf, "ax\nb", "step+ error error step+", 2, 2, 0,
       0, 2, true},
      // Four coils: at power-up nobody knows where the rotor sits.
      {"4 wires: forward 3 after the first, back 2", kFourWireElf, "pabcdcbp",
       "off energise step+ step+ step+ step- step- off", 1, 3, 2, 0, 0, false},
      {"4 wires: the rotor stays on its detent across p", kFourWireElf, "abpcpc", "energise step+ off step+ off energise",
       2, 2, 0, 0, 0, true},
      {"4 wires: a jump of two is a lost step", kFourWireElf, "ac", "energise lost", 0, 0, 0, 1, 0, true},
      {"4 wires: other bytes are errors", kFourWireElf, "aZb", "energise error step+", 1, 1, 0, 0, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AvrController avr(c.image);
    EXPECT_EQ(feed(avr, c.bytes), c.kinds);
    const Tally& t = avr.tally();
    EXPECT_EQ(t.bytes, static_cast<int64_t>(c.bytes.size()));
    EXPECT_EQ(t.position, c.position);
    EXPECT_EQ(t.stepsForward, c.forward);
    EXPECT_EQ(t.stepsBackward, c.backward);
    EXPECT_EQ(t.lost, c.lost);
    EXPECT_EQ(t.errors, c.errors);
    EXPECT_EQ(t.energised, c.energised);
  }
}

TEST(AvrController, TheShutterHoldIsTheTimeDThirteenStaysHigh) {
  AvrController avr(kStepDirElf);
  EXPECT_EQ(avr.feed('r', 100.0).kind, Kind::ShutterOpen);
  EXPECT_EQ(avr.feed('r', 200.0).kind, Kind::Error) << "already open";
  const Event close = avr.feed('s', 1100.0);
  EXPECT_EQ(close.kind, Kind::ShutterClose);
  EXPECT_NEAR(close.holdMs, 1000.0, 0.01);
  EXPECT_EQ(avr.feed('s', 1200.0).kind, Kind::Error) << "already closed";
  EXPECT_EQ(avr.tally().shots, 1);
  EXPECT_EQ(avr.tally().holds, std::vector<double>{close.holdMs});
  EXPECT_EQ(avr.tally().errors, 2);
}

TEST(AvrController, TenQuietSecondsSwitchTheMotorOffOfTheFirmwaresOwnAccord) {
  for (const std::string& image : {kStepDirElf, kFourWireElf}) {
    SCOPED_TRACE(image);
    AvrController avr(image);
    avr.feed('a', 100.0);
    EXPECT_FALSE(avr.advanceTo(100.0 + 9900.0));
    EXPECT_TRUE(avr.tally().energised);
    EXPECT_TRUE(avr.advanceTo(100.0 + 10100.0)) << "the tally changed";
    EXPECT_FALSE(avr.tally().energised);
    // The step the host makes next is counted from where the rotor was.
    EXPECT_EQ(avr.feed('b', 11000.0).kind, Kind::StepForward);
  }
}

TEST(AvrController, AResetSwitchesEverythingOffAndTheFirmwareStartsAgain) {
  AvrController avr(kStepDirElf);
  feed(avr, "abr", 10.0);
  avr.boardReset(100.0);
  EXPECT_FALSE(avr.tally().energised);
  EXPECT_FALSE(avr.tally().shutterOpen);
  EXPECT_TRUE(avr.tally().holds.empty()) << "an actuation cut short is no hold";
  EXPECT_EQ(avr.tally().shots, 1);
  bool enableHigh = false, shutterHigh = true;
  for (const PinChange& p : avr.takePinChanges()) {
    if (p.port == 'D' && p.bit == 4) enableHigh = p.high;
    if (p.port == 'B' && p.bit == 5) shutterHigh = p.high;
  }
  EXPECT_TRUE(enableHigh);
  EXPECT_FALSE(shutterHigh);
  // The restarted firmware counts from "d" again.
  EXPECT_EQ(feed(avr, "a", 200.0), "step+");
  EXPECT_EQ(avr.tally().position, 3);
}

}  // namespace
}  // namespace velmira::sim
