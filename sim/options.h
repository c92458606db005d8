// The command line of velmira-sim.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/rail.h"

namespace velmira::sim {

struct CommandLine {
  Options rail;
  bool status = false;       // live one-line status on stderr
  bool summaryJson = false;  // the closing summary as JSON
  bool help = false;
  bool version = false;
};

// The options, or the reason (in Spanish) why they are not valid.
struct ParsedCommandLine {
  std::optional<CommandLine> command;
  std::string error;
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);
std::string helpText();

}  // namespace velmira::sim
