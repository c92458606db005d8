// velmira_scenarios FILE [CASE]: plays the cases of a scenario file (or the
// one named) and says, for a failed one, the line that failed, what it
// expected, what came, and the case's whole transcript.  --words lists what
// a line may say.  The language is described in the README, "Writing a test".
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/scenarios/scenario.h"

namespace velmira::scenario {
namespace {

struct Step {
  int line;
  std::string text;
  int64_t at = -1;  // virtual ms since the case began; -1: after the step before
  const Word* word = nullptr;
  Args args;
  bool done = false;
};

struct CaseText {
  std::string name;
  int line;
  std::vector<std::pair<int, std::string>> lines;  // the file's shared lines first
};

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// Text in double quotes with \r \n \t \" \\ \xHH, the quotes removed; a
// word runs to the next blank outside quotes (NAME="a b" is one word).
std::string unquote(const std::string& q, size_t& i) {
  std::string out;
  for (++i; i < q.size() && q[i] != '"'; ++i) {
    if (q[i] != '\\' || i + 1 >= q.size()) { out += q[i]; continue; }
    char c = q[++i];
    if (c == 'r') out += '\r';
    else if (c == 'n') out += '\n';
    else if (c == 't') out += '\t';
    else if (c == 'x') { out += static_cast<char>(std::stoi(q.substr(i + 1, 2), nullptr, 16)); i += 2; }
    else out += c;
  }
  ++i;
  return out;
}

Args parseArgs(const std::string& rest) {
  Args a;
  size_t q = 0;
  a.rest = rest.size() >= 2 && rest.front() == '"' && rest.back() == '"' ? unquote(rest, q) : rest;
  for (size_t i = 0; i < rest.size();) {
    if (rest[i] == ' ') { ++i; continue; }
    std::string word;
    while (i < rest.size() && rest[i] != ' ') word += rest[i] == '"' ? unquote(rest, i) : std::string(1, rest[i++]);
    a.words.push_back(word);
  }
  return a;
}

const Word* findWord(const std::string& name) {
  for (const Word& w : words())
    if (name == w.name) return &w;
  return nullptr;
}

Step parseStep(int line, const std::string& text) {
  Step s;
  s.line = line;
  s.text = text;
  std::string t = text;
  if (t.rfind("at ", 0) == 0) {
    size_t sp = t.find(' ', 3);
    s.at = number(t.substr(3, sp - 3));
    t = trim(t.substr(sp == std::string::npos ? t.size() : sp));
  }
  size_t sp = t.find(' ');
  std::string first = t.substr(0, sp), rest = sp == std::string::npos ? "" : trim(t.substr(sp));
  s.word = findWord(first);
  s.args = parseArgs(rest);
  if (rest.rfind("= ", 0) == 0 && first != "file") {  // NAME = VALUE: expect NAME=VALUE, the value as it stands
    s.word = findWord("expect");
    s.args.words = {first + "=" + parseArgs(rest.substr(2)).rest};
  }
  if (!s.word) throw BadLine("unknown word \"" + first + "\" (velmira_scenarios --words lists them)");
  if (s.word->expectation && s.at >= 0) throw BadLine("an expectation has no time of its own");
  return s;
}

std::vector<CaseText> readFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw BadLine("cannot read " + path);
  std::vector<std::pair<int, std::string>> shared;
  std::vector<CaseText> cases;
  std::string raw;
  for (int n = 1; std::getline(in, raw); ++n) {
    std::string t = trim(raw);
    if (t.empty() || t[0] == '#') continue;
    // (Two cases of one name are refused by the build: each is a test of that name.)
    if (t.rfind("case ", 0) == 0) cases.push_back({trim(t.substr(5)), n, shared});
    else (cases.empty() ? shared : cases.back().lines).push_back({n, t});
  }
  return cases;
}

bool play(const std::string& path, const CaseText& text) {
  std::vector<std::string> lines;
  for (const auto& [n, t] : text.lines) lines.push_back(t);
  std::vector<Step> steps;
  int line = text.line;
  try {
    for (const auto& [n, t] : text.lines) {
      line = n;
      steps.push_back(parseStep(n, t));
    }
  } catch (const std::exception& e) {
    std::cout << path << ":" << line << ": " << e.what() << "\n";
    return false;
  }
  Case c(lines, std::find(lines.begin(), lines.end(), "rail") != lines.end());
  // An action at a time comes at the first event pass at or after it when a
  // handler is running then, as the user's click would.
  for (Step& s : steps)
    if (s.at >= 0 && !s.word->expectation)
      c.rig.events.at(c.t0 + s.at, [&c, &s] {
        if (!s.done) s.done = true, s.word->run(c, s.args);
      });
  auto fail = [&](int n, const std::string& what, const std::string& expected, const std::string& got) {
    std::cout << path << ":" << n << ": " << what << "\n  expected: " << expected << "\n  got:      " << got
              << "\ntranscript of \"" << text.name << "\" (ms since it began):\n"
              << c.transcript();
    return false;
  };
  for (Step& s : steps) {
    try {
      if (s.word->expectation) {
        s.word->run(c, s.args);
        continue;
      }
      if (s.done) continue;
      if (s.at >= 0) {
        if (s.at < c.now())
          throw BadLine("at " + std::to_string(s.at) + ": the case is already at " + std::to_string(c.now()));
        c.rig.clock.now_ = c.t0 + s.at;
      }
      s.done = true;
      s.word->run(c, s.args);
    } catch (const ProgramEnded&) {
      c.rig.transcript.add(c.rig.clock.nowMs(), "program ended");
    } catch (const Mismatch& m) {
      return fail(s.line, s.text, m.expected, m.got);
    } catch (const std::exception& e) {
      return fail(s.line, s.text, "no failure", e.what());
    }
  }
  const auto& shown = c.rig.messages.shown;
  if (c.boxesSeen < shown.size()) return fail(text.line, "a box that no line expects", "no more boxes", shown[c.boxesSeen].text);
  return true;
}

}  // namespace
}  // namespace velmira::scenario

int main(int argc, char** argv) {
  using namespace velmira::scenario;
  // The records' times are the same wherever the cases run.
  setenv("TZ", "UTC", 1);
  tzset();
  if (argc == 2 && std::string(argv[1]) == "--words") {
    for (const Word& w : words()) std::cout << (w.expectation ? "expect  " : "action  ") << w.usage << "\n";
    return 0;
  }
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: velmira_scenarios FILE [CASE] | --words\n";
    return 2;
  }
  try {
    int failed = 0, ran = 0;
    for (const CaseText& c : readFile(argv[1])) {
      if (argc == 3 && c.name != argv[2]) continue;
      ++ran;
      bool ok = play(argv[1], c);
      failed += !ok;
      std::cout << (ok ? "ok      " : "FAILED  ") << c.name << "\n";
    }
    if (ran == 0) std::cout << "no case named \"" << (argc == 3 ? argv[2] : "") << "\"\n";
    return failed || ran == 0 ? 1 : 0;
  } catch (const std::exception& e) {
    std::cout << e.what() << "\n";
    return 2;
  }
}
