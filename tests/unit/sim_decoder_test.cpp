// The simulated controller's actuations and resets, its log lines and its
// command line (what it makes of each byte: tests/scenarios/rail.scn).
#include <gtest/gtest.h>

#include "sim/decoder.h"
#include "sim/event_json.h"
#include "sim/options.h"

namespace velmira::sim {
namespace {

TEST(SimDecoder, MeasuresEachActuationFromItsOpenToItsClose) {
  Decoder d('d');
  d.feed('r', 100.0);
  Event close = d.feed('s', 1100.5);
  d.feed('r', 2000.0);
  d.feed('s', 2999.0);
  EXPECT_DOUBLE_EQ(close.holdMs, 1000.5);
  EXPECT_EQ(d.tally().shots, 2);
  EXPECT_EQ(d.tally().holds, (std::vector<double>{1000.5, 999.0}));
  EXPECT_FALSE(d.tally().shutterOpen);
}

TEST(SimDecoder, ABoardResetSwitchesTheOutputsOffAndKeepsTheRotorWhereItIs) {
  Decoder d('d');
  d.feed('a', 1);
  d.feed('r', 2);
  Event ignored = d.ignore('b', 3);
  d.boardReset();
  EXPECT_EQ(ignored.kind, Kind::Lost);
  EXPECT_TRUE(ignored.ignored);
  EXPECT_FALSE(d.tally().energised);
  EXPECT_FALSE(d.tally().shutterOpen);
  EXPECT_EQ(d.tally().lost, 1);
  EXPECT_EQ(d.tally().lostDuringReset, 1);
  // The rotor still sits on "a": "b" is the next step.
  EXPECT_EQ(d.feed('b', 4).kind, Kind::StepForward);
  EXPECT_EQ(d.tally().position, 2);
}

TEST(SimEventLog, WritesOneJsonObjectPerByteThatReadsBack) {
  const std::vector<std::pair<Event, std::string>> cases = {
      {{12.3456, 'a', 1, Kind::StepForward, false, 0}, R"({"t_ms":12.346,"byte":"a","pos":1,"event":"step+"})"},
      {{5, 'p', -3, Kind::Lost, true, 0}, R"({"t_ms":5.000,"byte":"p","pos":-3,"event":"lost","reset":true})"},
      {{1013.25, 's', 0, Kind::ShutterClose, false, 1000.125},
       R"({"t_ms":1013.250,"byte":"s","pos":0,"event":"shutter_close","hold_ms":1000.125})"},
      {{1, '"', 0, Kind::Error, false, 0}, R"({"t_ms":1.000,"byte":"\"","pos":0,"event":"error"})"},
      {{1, '\\', 0, Kind::Error, false, 0}, R"({"t_ms":1.000,"byte":"\\","pos":0,"event":"error"})"},
      {{1, 0x01, 0, Kind::Error, false, 0}, R"({"t_ms":1.000,"byte":"\u0001","pos":0,"event":"error"})"},
      {{1, 0xff, 0, Kind::Error, false, 0}, R"({"t_ms":1.000,"byte":"\u00ff","pos":0,"event":"error"})"},
  };
  for (const auto& [event, line] : cases) {
    EXPECT_EQ(toJsonLine(event), line);
    std::optional<Event> back = parseJsonLine(line);
    ASSERT_TRUE(back) << line;
    EXPECT_EQ(back->byte, event.byte) << line;
    EXPECT_EQ(back->pos, event.pos) << line;
    EXPECT_EQ(back->kind, event.kind) << line;
    EXPECT_EQ(back->ignored, event.ignored) << line;
    EXPECT_NEAR(back->tMs, event.tMs, 0.001) << line;
    EXPECT_NEAR(back->holdMs, event.holdMs, 0.001) << line;
  }
  for (const char* bad : {"", "{", R"({"t_ms":1,"byte":"a","pos":0})", R"({"t_ms":1,"byte":"a","pos":0,"event":"jump"})",
                          R"({"t_ms":1,"byte":"ab","pos":0,"event":"off"})", R"({"t_ms":1.000,"byte":"a","pos":1,"event":"st)"})
    EXPECT_FALSE(parseJsonLine(bad)) << bad;
}

TEST(SimEventLog, SummaryNamesEveryFigure) {
  Summary s;
  s.tally.bytes = 7;
  s.tally.position = -2;
  s.tally.lost = 3;
  s.tally.lostDuringReset = 1;
  s.tally.shots = 1;
  s.tally.holds = {1000.5};
  s.opens = 2;
  s.resets = 1;
  s.maxQueue = 9;
  s.vanished = true;
  EXPECT_EQ(summaryJson(s),
            R"({"bytes":7,"position":-2,"energised":false,"steps_forward":0,"steps_backward":0,"lost":3,)"
            R"("lost_during_reset":1,"shots":1,"holds_ms":[1000.500],"shutter_open":false,"errors":0,"opens":2,)"
            R"("resets":1,"max_queue":9,"vanished":true})");
  const std::string text = summaryText(s);
  for (const char* part : {"posición: -2 pasos", "pasos perdidos: 3 (1 durante el reinicio)", "disparos: 1",
                           "mayor cola de entrada: 9 bytes", "desconexión simulada: sí"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
}

TEST(SimCommandLine, AcceptsEveryOptionAndRefusesWhatIsNotOne) {
  ParsedCommandLine ok = parseCommandLine({"--name", "rail", "--dir", "/tmp/p", "--phase", "c", "--log", "l.json",
                                           "--status", "--summary-json", "--vanish-after-bytes", "7",
                                           "--vanish-after-ms", "0", "--baud", "9600", "--reset-ms", "1000"});
  ASSERT_TRUE(ok.command) << ok.error;
  const CommandLine& c = *ok.command;
  EXPECT_EQ(c.rail.name, "rail");
  EXPECT_EQ(c.rail.portsDir, "/tmp/p");
  EXPECT_EQ(c.rail.restPhase, 'c');
  EXPECT_EQ(c.rail.logPath, "l.json");
  EXPECT_TRUE(c.status);
  EXPECT_TRUE(c.summaryJson);
  EXPECT_EQ(c.rail.vanishAfterBytes, 7);
  EXPECT_EQ(c.rail.vanishAfterMs, 0);
  EXPECT_EQ(c.rail.baud, 9600);
  EXPECT_EQ(c.rail.resetMs, 1000);
  EXPECT_TRUE(parseCommandLine({"-h"}).command->help);
  ParsedCommandLine avr = parseCommandLine({"--avr", "fw.hex", "--pin-log", "pins.json"});
  ASSERT_TRUE(avr.command) << avr.error;
  EXPECT_EQ(avr.command->rail.avrImage, "fw.hex");
  EXPECT_EQ(avr.command->rail.pinLogPath, "pins.json");

  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"}, {"--baud"}, {"--baud", "0"}, {"--baud", "96OO"}, {"--reset-ms", "-1"},
      {"--vanish-after-bytes", "1.5"}, {"--phase", "e"}, {"--phase", "ab"}, {"--name"}, {"--log", ""}, {"extra"},
      {"--avr"}, {"--avr", "fw.elf", "--phase", "a"}, {"--pin-log", "pins.json"}};
  for (const auto& args : bad) {
    ParsedCommandLine r = parseCommandLine(args);
    EXPECT_FALSE(r.command) << args[0];
    EXPECT_FALSE(r.error.empty()) << args[0];
  }
}

}  // namespace
}  // namespace velmira::sim
