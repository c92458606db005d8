// A stand-in for the fusing tools: each run answers as told, writes the
// files the real tool would (the aligned frames, enfuse's -o picture) and
// is remembered.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace velmira::test {

class FakeProcesses : public platform::Processes {
 public:
  struct Answer {
    std::vector<std::string> lines;  // written before it ends
    int exitCode = 0;
    std::function<void()> during;  // runs before the lines (a Ctrl+C, a quit)
  };
  std::optional<std::string> find(const std::string& program) override;
  platform::ProcessResult run(const platform::ProcessRequest& request,
                              const std::function<void(const std::string&)>& onLine,
                              const std::atomic<bool>& cancel) override;
  void hold(bool held) override { holds.push_back(held); }

  std::set<std::string> installed{"align_image_stack", "enfuse"};
  // By tool name; the n-th run of a tool takes answers[tool][n] (the last
  // one when there are fewer).  Version queries are answered apart.
  std::map<std::string, std::vector<Answer>> answers;
  std::vector<platform::ProcessRequest> runs;  // every run but the version queries
  std::vector<bool> holds;
};

}  // namespace velmira::test
