// velmira --apilar CARPETA [--salida ARCHIVO]: a folder of frames fused
// from the terminal, with no window and no display.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/processes.h"
#include "stacking/recipe.h"

namespace velmira::stacking {

// Exit statuses of the command.
enum Status {
  kStacked = 0,
  kToolFailed = 1,     // a tool failed, the disk is full
  kBadOptions = 2,
  kBadFolder = 3,      // no folder, no frames, an unreadable or odd-sized frame
  kToolsMissing = 4,
  kInterrupted = 130,  // Ctrl+C
};

// Runs it with the arguments after the program's name.  The progress goes
// to `err` (one line redrawn on a terminal, a line per stage and frame
// otherwise), the result's path to `out`.
int runStackCommand(const std::vector<std::string>& args, platform::Processes& processes, platform::Clock& clock,
                    const std::atomic<bool>& cancel, std::FILE* out, std::FILE* err, bool terminal,
                    const Recipe& recipe = {});

// The command with the machine's processes and clock, stopped by SIGINT,
// SIGTERM or SIGHUP.
int stackCommandMain(int argc, char** argv);

}  // namespace velmira::stacking
