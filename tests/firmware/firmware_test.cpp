// What the controller firmware does with the host's bytes, read off its pins
// (the notation: tests/firmware/firmware_support.h).
#include <gtest/gtest.h>

#include "tests/firmware/firmware_support.h"

namespace velmira::firmware::test {
namespace {

TEST(Firmware, PinThirteenFollowsRAndSAndNothingElse) {
  checkTranscripts(R"(
both | r                              | R
both | rs                             | R S
both | s                              | -
both | rr                             | R
both | rsr                            | R S R
both | rxs                            | R S
both | rRS                            | R             # upper case is no command
both | r@0 s@1000 r@3000 s@4000       | R@1.05 S@1001.05 R@3001.05 S@4001.05  # the mirror lock-up's holds
# The shutter and the motor leave each other alone; any other byte changes
# no pin, and the firmware never transmits.
4w   | ab rs r cdapb s                | a b R S R c d a p b S
sd   | ab rs r cdapb s                | on F F R S R F F F off on F S
4w   | ar {others} s                  | a R S
sd   | ar {others} s                  | on F R S
)");
}

TEST(Firmware, StepDirTurnsLettersBackIntoSteps) {
  checkTranscripts(R"(
sd | ^ @50                            | off           # the driver stays off from power-up
sd | a                                | on F          # after reset the reference is d, as on the host
sd | c                                | on B
sd | d                                | on            # the same letter again
sd | b                                | on            # a jump of two
sd | abcd*2                           | on F*8        # the host's first move forwards
sd | cbad*2                           | on B*8        # and backwards
sd | aa                               | on F
sd | acd                              | on F F
sd | abcb                             | on F F F B
sd | badc                             | on B B B
sd | abpc                             | on F F off on F   # p keeps the reference
sd | apd                              | on F off on B
sd | ppa                              | on F
sd | axb                              | on F F
# Each pulse meets the driver's timing just after its byte is in.
sd | abcbapdcdab@0/10                 | on@1.05 F@1.05 F@11.05 F@21.05 B@31.05 B@41.05 off@51.05 on@61.05 B@61.05 B@71.05 F@81.05 F@91.05 F@101.05
# Back-to-back bytes (more than the receive buffer holds) and 20 ms steps.
sd | abcd*5 p cbad*5 p                | on F*20 off on B*20 off
sd | abcdabcdabcdpcbadcbadcbadp@0/20  | on F*12 off on B*12 off
)");
}

TEST(Firmware, FourWireSetsTheCoilsOfEachPhaseAtOnce) {
  checkTranscripts(R"(
4w | ^ @50                            | -             # the coils stay off from power-up
4w | abcdadcba                        | a b c d a d c b a
4w | aa                               | a
4w | ac                               | a c
4w | apc                              | a p c
4w | pb                               | b
4w | cpp                              | c p
4w | abcdcbadp@0/10                   | a@1.05 b@11.05 c@21.05 d@31.05 c@41.05 b@51.05 a@61.05 d@71.05 p@81.05
)");
}

TEST(Firmware, TenQuietSecondsSwitchTheMotorAndTheShutterOff) {
  checkTranscripts(R"(
4w | a b@10100                        | a p@10001 b
sd | a b@10100                        | on F off@10001 on F
4w | ar @10100                        | a R p@10002 S@10002
sd | ar @10100                        | on F R off@10002 S@10002
# A letter a second keeps the motor on; other bytes do not count.
4w | abcdabcdabcd@0/1000 @22100       | a b c d a b c d a b c d p@21001
sd | abcdabcdabcd@0/1000 @22100       | on F*12 off@21001
4w | a xBxBxBxBxBxBxBx@1000/1000 @16100  | a p@10001
sd | a xBxBxBxBxBxBxBx@1000/1000 @16100  | on F off@10001
4w | a r*15@1000/1000 @16100          | a R
sd | a r*15@1000/1000 @16100          | on F R
4w | abp @25000                       | a b p         # a motor that is off stays untouched
sd | abp @25000                       | on F F off
)");
}

}  // namespace
}  // namespace velmira::firmware::test
