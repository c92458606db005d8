#include "tests/support/sim_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velmira::test {
namespace {

std::string makeTempDir(const std::string& prefix) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every line of the file that `parse` reads; a line being written has no
// newline yet and does not parse.
template <typename T>
std::vector<T> parseLines(const std::string& path, std::optional<T> (*parse)(const std::string&)) {
  std::vector<T> out;
  std::istringstream in(readFile(path));
  std::string line;
  while (std::getline(in, line))
    if (std::optional<T> item = parse(line)) out.push_back(*item);
  return out;
}

// The arguments of velmira-sim for `options` (the log excepted).
std::vector<std::string> simArguments(const sim::Options& o) {
  std::vector<std::string> a;
  if (!o.portsDir.empty()) a.insert(a.end(), {"--dir", o.portsDir});
  if (!o.name.empty()) a.insert(a.end(), {"--name", o.name});
  if (o.restPhase) a.insert(a.end(), {"--phase", std::string(1, *o.restPhase)});
  if (o.vanishAfterBytes >= 0) a.insert(a.end(), {"--vanish-after-bytes", std::to_string(o.vanishAfterBytes)});
  if (o.vanishAfterMs >= 0) a.insert(a.end(), {"--vanish-after-ms", std::to_string(o.vanishAfterMs)});
  if (o.baud > 0) a.insert(a.end(), {"--baud", std::to_string(o.baud)});
  if (o.resetMs > 0) a.insert(a.end(), {"--reset-ms", std::to_string(o.resetMs)});
  if (!o.avrImage.empty()) a.insert(a.end(), {"--avr", o.avrImage});
  return a;
}

class InProcessRail : public SimulatedRail {
 public:
  InProcessRail(sim::Options options, const std::string& dir) {
    options.portsDir = dir;
    rail_.start(options);
  }
  std::string linkPath() const override { return rail_.linkPath(); }
  std::vector<sim::Event> allEvents() override { return rail_.allEvents(); }
  std::vector<sim::PinChange> pinChanges() override { return rail_.pinChanges(); }
  bool waitForVanish(int timeoutMs) override {
    return rail_.waitFor([](const sim::Summary& s) { return s.vanished; }, timeoutMs);
  }
  sim::Summary stop() override {
    rail_.stop();
    return rail_.summary();
  }

 private:
  sim::Rail rail_;
};

std::vector<sim::Event> byteEvents(std::vector<sim::Event> all, bool bytes) {
  std::erase_if(all, [&](const sim::Event& e) { return sim::isByte(e) != bytes; });
  return all;
}

}  // namespace

ChildRail::ChildRail(sim::Options options, const std::string& dir, const std::string& exe) {
  options.portsDir = dir;
  if (options.name.empty()) options.name = "velmira-sim-child";
  link_ = dir + "/" + options.name;
  // Beside the ports directory, which the program creates.
  log_ = std::filesystem::path(dir).parent_path().string() + "/" + options.name + ".log";
  std::vector<std::string> args = simArguments(options);
  args.insert(args.end(), {"--log", log_, "--summary-json"});
  if (!options.avrImage.empty()) {
    pinLog_ = log_ + ".pins";
    args.insert(args.end(), {"--pin-log", pinLog_});
  }
  child_ = std::make_unique<ChildProcess>(exe, args);
  struct stat st {};
  bool ready = pollUntil([&] { return lstat(link_.c_str(), &st) == 0 || child_->poll(); }, 5000);
  if (!ready || child_->poll())
    throw std::runtime_error("velmira-sim did not publish " + link_ + ": " + child_->errorOutput());
}

std::vector<sim::Event> ChildRail::allEvents() { return parseLines(log_, sim::parseJsonLine); }

std::vector<sim::PinChange> ChildRail::pinChanges() { return parseLines(pinLog_, sim::parsePinChangeJson); }

bool ChildRail::waitForVanish(int timeoutMs) {
  return pollUntil([&] { return child_->poll().has_value(); }, timeoutMs);
}

sim::Summary ChildRail::stop() { return stop(SIGTERM); }

sim::Summary ChildRail::stop(int signal) {
  if (!child_->poll()) child_->signal(signal);
  exitCode_ = child_->wait(5000);
  sim::Summary s;
  const std::string out = output();
  // The summary is the last line; only what the tests compare is read.
  auto field = [&](const std::string& key) -> int64_t {
    size_t at = out.rfind("\"" + key + "\":");
    return at == std::string::npos ? -1 : std::stoll(out.substr(at + key.size() + 3));
  };
  s.tally.bytes = field("bytes");
  s.tally.position = field("position");
  s.tally.lost = field("lost");
  s.tally.lostDuringReset = field("lost_during_reset");
  s.tally.shots = field("shots");
  s.tally.errors = field("errors");
  s.opens = static_cast<int>(field("opens"));
  s.resets = static_cast<int>(field("resets"));
  s.vanished = out.find("\"vanished\":true") != std::string::npos;
  s.tally.energised = out.find("\"energised\":true") != std::string::npos;
  s.tally.shutterOpen = out.find("\"shutter_open\":true") != std::string::npos;
  return s;
}

std::string ChildRail::output() const { return child_->output(); }

PortsDir::PortsDir() : root_(makeTempDir("velmira-e2e-")), path_(root_ + "/ports") {}

PortsDir::~PortsDir() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

const char* simModeName(SimMode mode) { return mode == SimMode::InProcess ? "InProcess" : "ChildProcess"; }

std::vector<sim::Event> SimulatedRail::events() { return byteEvents(allEvents(), true); }

std::vector<sim::Event> SimulatedRail::portEvents() { return byteEvents(allEvents(), false); }

bool SimulatedRail::waitForBytes(size_t n, int timeoutMs) {
  return pollUntil([&] { return events().size() >= n; }, timeoutMs);
}

bool SimulatedRail::waitForPortEvents(size_t n, int timeoutMs) {
  return pollUntil([&] { return portEvents().size() >= n; }, timeoutMs);
}

std::string SimulatedRail::bytes() {
  std::string out;
  for (const sim::Event& e : events()) out += static_cast<char>(e.byte);
  return out;
}

std::unique_ptr<SimulatedRail> startRail(SimMode mode, sim::Options options, const std::string& dir,
                                         const std::string& exe) {
  if (mode == SimMode::InProcess) return std::make_unique<InProcessRail>(std::move(options), dir);
  return std::make_unique<ChildRail>(std::move(options), dir, exe);
}

ChildProcess::ChildProcess(const std::string& exe, const std::vector<std::string>& args)
    : dir_(makeTempDir("velmira-child-")) {
  std::vector<char*> argv{const_cast<char*>(exe.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int out = ::open((dir_ + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open((dir_ + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (!poll()) {
    kill(pid_, SIGKILL);
    wait(5000);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::optional<int> ChildProcess::poll() {
  if (status_) return status_;
  int st = 0;
  if (waitpid(pid_, &st, WNOHANG) == pid_) status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return status_;
}

int ChildProcess::wait(int timeoutMs) {
  if (!pollUntil([&] { return poll().has_value(); }, timeoutMs)) {
    kill(pid_, SIGKILL);
    pollUntil([&] { return poll().has_value(); }, 5000);
  }
  return status_.value_or(-1);
}

void ChildProcess::signal(int sig) { kill(pid_, sig); }

std::string ChildProcess::output() const { return readFile(dir_ + "/stdout"); }

std::string ChildProcess::errorOutput() const { return readFile(dir_ + "/stderr"); }

}  // namespace velmira::test
