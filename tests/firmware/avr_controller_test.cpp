// The rail read off the real firmware's pins: what velmira-sim --avr makes
// of each byte, with both motor drivers, in the rail's own time.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/avr_controller.h"
#include "tests/firmware/firmware_support.h"

namespace velmira::sim {
namespace {

TEST(AvrController, TellsTheDriverByThePinsTheFirmwareDrives) {
  EXPECT_EQ(AvrController(VELMIRA_FIRMWARE_STEPDIR_ELF).backend(), Backend::StepDir);
  EXPECT_EQ(AvrController(VELMIRA_FIRMWARE_STEPDIR_HEX).backend(), Backend::StepDir) << "the file that is flashed";
  EXPECT_EQ(AvrController(VELMIRA_FIRMWARE_4WIRE_ELF).backend(), Backend::FourWire);

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
  firmware::test::checkTranscripts(R"(
# STEP/DIR starts from "d", the host's own first phase.
rail-sd | pabcdcbp     | off step+*4 step-*2 off pos=2 fwd=4 back=2
rail-sd | abpb         | step+ step+ off energise pos=2 fwd=2 on       # the same letter after p only enables
rail-sd | ac           | step+ lost pos=1 fwd=1 lost=1 on             # a jump of two moves nothing
rail-sd | aa           | step+ lost pos=1 fwd=1 lost=1 on
rail-sd | ax?b         | step+ error error step+ pos=2 fwd=2 err=2 on
# Four coils: at power-up nobody knows where the rotor sits.
rail-4w | pabcdcbp     | off energise step+*3 step-*2 off pos=1 fwd=3 back=2
rail-4w | abpcpc       | energise step+ off step+ off energise pos=2 fwd=2 on   # the rotor stays on its detent across p
rail-4w | ac           | energise lost pos=0 lost=1 on
rail-4w | aZb          | energise error step+ pos=1 fwd=1 err=1 on
# The hold is the time D13 stays high; r and s out of turn are errors.
rail-sd | r@100 r@200 s@1100 s@1200  | shutter_open error shutter_close error pos=0 err=2 shots=1 holds=1000.00
# Ten quiet seconds switch the motor off of the firmware's own accord; the
# next step is counted from where the rotor was.
rail-sd | a@100 @10000 @10200 b@11000  | step+ ~ ~off step+ pos=2 fwd=2 on
rail-4w | a@100 @10000 @10200 b@11000  | energise ~ ~off step+ pos=1 fwd=1 on
# A reset switches everything off; the restarted firmware counts from "d".
rail-sd | abr !@100 a@200  | step+ step+ shutter_open reset S off ~off step+ pos=3 fwd=3 shots=1 on
)");
}

}  // namespace
}  // namespace velmira::sim
