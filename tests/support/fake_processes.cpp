#include "tests/support/fake_processes.h"

#include <filesystem>
#include <fstream>

namespace velmira::test {

std::optional<std::string> FakeProcesses::find(const std::string& program) {
  if (!installed.count(program)) return std::nullopt;
  return "/usr/bin/" + program;
}

platform::ProcessResult FakeProcesses::run(const platform::ProcessRequest& request,
                                           const std::function<void(const std::string&)>& onLine,
                                           const std::atomic<bool>& cancel) {
  const std::string tool = std::filesystem::path(request.program).filename().string();
  const std::vector<std::string>& a = request.args;
  platform::ProcessResult result;
  result.started = true;
  if (a.size() == 1 && (a[0] == "--version" || a[0] == "-h")) {
    onLine(tool == "enfuse" ? "enfuse 4.2" : "align_image_stack version 2022.0.0");
    result.exitCode = tool == "enfuse" ? 0 : 1;
    return result;
  }
  const size_t n = std::count_if(runs.begin(), runs.end(), [&](const platform::ProcessRequest& r) {
    return std::filesystem::path(r.program).filename() == tool;
  });
  runs.push_back(request);
  Answer answer;
  if (auto it = answers.find(tool); it != answers.end() && !it->second.empty())
    answer = it->second[std::min(n, it->second.size() - 1)];
  if (answer.during) answer.during();
  if (cancel.load()) {
    result.cancelled = true;
    result.signal = 9;
    return result;
  }
  for (const std::string& line : answer.lines) onLine(line);
  result.exitCode = answer.exitCode;
  for (size_t i = 0; answer.exitCode == 0 && i + 1 < a.size(); ++i) {
    if (a[i] == "-o") std::ofstream(a[i + 1]) << "fused";
    // After -a and its prefix, every argument is a frame.
    for (size_t k = 0; a[i] == "-a" && i + 2 + k < a.size(); ++k) {
      char name[16];
      std::snprintf(name, sizeof name, "%04zu.tif", k);
      std::ofstream(a[i + 1] + name) << "aligned";
    }
  }
  return result;
}

}  // namespace velmira::test
