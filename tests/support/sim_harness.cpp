#include "tests/support/sim_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

std::vector<sim::Event> byteEvents(std::vector<sim::Event> all, bool bytes) {
  std::erase_if(all, [&](const sim::Event& e) { return sim::isByte(e) != bytes; });
  return all;
}

}  // namespace

ChildRail::ChildRail(const std::string& exe, const std::string& dir, const std::string& name,
                     std::vector<std::string> args)
    : link_(dir + "/" + name),
      // Beside the ports directory, which the program creates.
      log_(std::filesystem::path(dir).parent_path().string() + "/" + name + ".log") {
  args.insert(args.end(), {"--dir", dir, "--name", name, "--log", log_, "--summary-json"});
  if (std::find(args.begin(), args.end(), "--avr") != args.end())
    args.insert(args.end(), {"--pin-log", pinLog_ = log_ + ".pins"});
  child_ = std::make_unique<ChildProcess>(exe, args);
  struct stat st {};
  bool ready = pollUntil([&] { return lstat(link_.c_str(), &st) == 0 || child_->poll(); }, 5000);
  if (!ready || child_->poll())
    throw std::runtime_error("velmira-sim did not publish " + link_ + ": " + child_->errorOutput());
}

std::vector<sim::Event> ChildRail::events() { return byteEvents(parseLines(log_, sim::parseJsonLine), true); }

std::vector<sim::Event> ChildRail::portEvents() { return byteEvents(parseLines(log_, sim::parseJsonLine), false); }

std::string ChildRail::bytes() {
  std::string out;
  for (const sim::Event& e : events()) out += static_cast<char>(e.byte);
  return out;
}

std::vector<sim::PinChange> ChildRail::pinChanges() { return parseLines(pinLog_, sim::parsePinChangeJson); }

bool ChildRail::waitForBytes(size_t n, int timeoutMs) {
  return pollUntil([&] { return events().size() >= n; }, timeoutMs);
}

bool ChildRail::waitForPortEvents(size_t n, int timeoutMs) {
  return pollUntil([&] { return portEvents().size() >= n; }, timeoutMs);
}

bool ChildRail::waitForVanish(int timeoutMs) {
  return pollUntil([&] { return child_->poll().has_value(); }, timeoutMs);
}

int ChildRail::stop(int signal) {
  if (!child_->poll()) child_->signal(signal);
  return child_->wait(5000);
}

int64_t ChildRail::figure(const std::string& name) const {
  const std::string out = output();
  const size_t at = out.rfind("\"" + name + "\":");  // the summary is the last line
  if (at == std::string::npos) return -1;
  const std::string value = out.substr(at + name.size() + 3);
  return value.rfind("true", 0) == 0 ? 1 : value.rfind("false", 0) == 0 ? 0 : std::stoll(value);
}

PortsDir::PortsDir() : root_(makeTempDir("velmira-e2e-")), path_(root_ + "/ports") {}

PortsDir::~PortsDir() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
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
