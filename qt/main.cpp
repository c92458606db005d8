// Velmira: the command line is read first, without the window system, so
// that a mode that needs no window runs where there is no display; then the
// mode runs.
#include <cstdio>

#include "qt/command_line.h"
#include "qt/window_main.h"
#include "stacking/command_line.h"

int main(int argc, char** argv) {
  using velmira::qt::CommandLine;
  const CommandLine line = velmira::qt::readCommandLine(argc, argv);
  switch (line.mode) {
    case CommandLine::Mode::Help:
      std::fputs(velmira::qt::kUsage, stdout);
      return 0;
    case CommandLine::Mode::Version:
      std::puts("velmira " VELMIRA_VERSION);
      return 0;
    case CommandLine::Mode::Invalid:
      std::fprintf(stderr, "velmira: %s\nPruebe «velmira --help».\n", line.problem.c_str());
      return 2;
    case CommandLine::Mode::Stack:
      return velmira::stacking::stackCommandMain(argc, argv);
    case CommandLine::Mode::Window:
      break;
  }
  return velmira::qt::runWindow(argc, argv);
}
