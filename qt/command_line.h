// The program's command line, read before anything of the window system is
// touched: help, version and a wrong option need no display, and a mode
// without a window can run where there is none (a terminal over SSH, a
// service).  Qt's own options (-platform, -display, -style ...) belong to
// the window and are left for it.
#pragma once

#include <string>

namespace velmira::qt {

struct CommandLine {
  enum class Mode {
    Window,   // the main window
    Help,     // kUsage on the standard output
    Version,  // the version on the standard output
    Invalid,  // `problem` says what is wrong; exit status 2
    Stack,    // --apilar: a folder's frames fused, no window (stacking/command_line.h)
  };
  Mode mode = Mode::Window;
  std::string problem;
};

// Reads argv[1..argc-1].  A help or version option anywhere wins over a
// wrong one beside it; otherwise the first wrong one is reported.
CommandLine readCommandLine(int argc, const char* const* argv);

extern const char* const kUsage;

}  // namespace velmira::qt
