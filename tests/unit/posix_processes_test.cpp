// The fusing tools' processes on Linux: idle class at nice 19 and the idle disk
// class, their output read line by line, and a cancel that kills what they
// started too.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fstream>
#include <thread>

#include "platform/posix_processes.h"
#include "tests/support/poll.h"

namespace velmira::platform {
namespace {

// A process's state letter from /proc: "S" sleeping, "T" stopped, "Z"
// dead and not yet collected, "" gone.
std::string state(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string p, name, s;
  in >> p >> name >> s;
  return s;
}

TEST(PosixProcesses, LowestPriorityOutputByLinesAndACancelKillsTheWholeGroup) {
  // From nice 0 where allowed (root may lower it): under nice 19 the tools
  // would inherit the 19 checked below.
  setpriority(PRIO_PROCESS, 0, 0);
  PosixProcesses processes;
  const auto sh = processes.find("sh");
  ASSERT_TRUE(sh);
  EXPECT_FALSE(processes.find("velmira-no-such-tool"));
  std::atomic<bool> cancel{false};
  std::vector<std::string> lines;
  auto collect = [&](const std::string& l) { lines.push_back(l); };
  ProcessResult r = processes.run({*sh, {"-c", "cut -d' ' -f19,41 /proc/$$/stat; ionice -p $$; printf 'a\\rb'; exit 3"}, "/"},
                                  collect, cancel);
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_FALSE(r.succeeded());
  EXPECT_EQ(lines, (std::vector<std::string>{"19 5", "idle", "a", "b"}));  // nice 19, SCHED_IDLE

  // A tool that started one of its own, which would outlive a kill of the
  // tool alone.
  lines.clear();
  std::thread canceller;
  r = processes.run({*sh, {"-c", "sleep 60 & echo $!; wait"}, {}}, [&](const std::string& l) {
    lines.push_back(l);
    canceller = std::thread([&] { cancel = true; });
  }, cancel);
  canceller.join();
  EXPECT_TRUE(r.cancelled);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(test::pollUntil([&] { return state(lines[0]).empty() || state(lines[0]) == "Z"; }, 1000))
      << "the tool's own child still runs";
  EXPECT_FALSE(processes.run({"/nonexistent/tool", {}, {}}, collect, cancel).started);
}

// While the rail steps the fusion's tools are stopped, then go on.
TEST(PosixProcesses, AHeldProgramIsStoppedUntilReleased) {
  PosixProcesses processes;
  std::atomic<bool> cancel{false};
  std::thread rail;
  ProcessResult r = processes.run({*processes.find("sh"), {"-c", "echo $$; exec sleep 60"}, {}},
                                  [&](const std::string& pid) {
                                    rail = std::thread([&, pid] {
                                      processes.hold(true);
                                      EXPECT_TRUE(test::pollUntil([&] { return state(pid) == "T"; }, 5000));
                                      processes.hold(false);
                                      EXPECT_TRUE(test::pollUntil([&] { return state(pid) == "S"; }, 5000));
                                      cancel = true;
                                    });
                                  },
                                  cancel);
  rail.join();
  EXPECT_TRUE(r.cancelled);
}

}  // namespace
}  // namespace velmira::platform
