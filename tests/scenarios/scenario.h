// The scenario runner: one case of a scenario file played on the test rig
// (the real window model and handlers, the fakes, the virtual clock).  The
// words a line may start with are one table (words.cpp); a new kind of
// action or expectation is one more row there.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/sim_harness.h"

namespace velmira::scenario {

// A line of a case: the words after its first one, and the text after it.
struct Args {
  std::vector<std::string> words;  // split at blanks; "quoted text" is one word, with C escapes
  std::string rest;                // everything after the first word, unquoted when wholly quoted
  const std::string& at(size_t i) const;
};

// What a failed expectation says: what the line asked for and what came.
struct Mismatch {
  std::string expected, got;
};

// A line the runner cannot read (unknown word or name, bad number).
struct BadLine : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Case {
 public:
  // On the rail ("rail" before the cases): the real serial port and port
  // list, with the simulated rail on a pseudo-terminal behind them.
  Case(const std::vector<std::string>& lines, bool onRail);
  std::unique_ptr<test::PortsDir> ports;
  test::Rig rig;
  std::unique_ptr<sim::Rail> rail;
  Form_Principal& form() { return rig.form(); }
  int64_t now() { return rig.clock.nowMs() - t0; }
  // A control by name; BadLine when there is none.
  Control& control(const std::string& name);
  // What a name shows: a control's text, caption or value, a window
  // variable, or NAME.property (visible, enabled, index, items, ...).
  std::string value(const std::string& name);
  // The transcript entries since the last check of `kind` ("write ", ...),
  // each as its time and text without the prefix; moves the mark on.
  std::vector<std::pair<int64_t, std::string>> since(const std::string& kind);
  // The whole transcript, one entry a line, for a failure's report.
  std::string transcript() const;

  const int64_t t0;
  size_t boxesSeen = 0;
  size_t railMark = 0;  // the rail's bytes checked so far
  int heldPort = -1;    // another program's hold on the rail's port

 private:
  std::string shown(const std::string& name);
  std::map<std::string, size_t> marks_;
};

struct Word {
  const char* name;
  const char* usage;  // one line: what it says and how
  bool expectation;
  std::function<void(Case&, const Args&)> run;
};
const std::vector<Word>& words();

int64_t number(const std::string& text);

}  // namespace velmira::scenario
