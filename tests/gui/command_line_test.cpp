// The command lines of both programs: help and version without a window,
// anything else refused with the usual exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

TEST(CommandLine, HelpVersionAndUnknownOptionsOfBothPrograms) {
  struct Case { const char* exe; std::vector<std::string> args; int status; const char* firstLine; bool toStderr; };
  std::vector<Case> cases = {
      {VELMIRA_EXE, {"--help"}, 0, "Uso: velmira [opciones]", false},
      {VELMIRA_EXE, {"-h"}, 0, "Uso: velmira [opciones]", false},
      {VELMIRA_EXE, {"--version"}, 0, "velmira " VELMIRA_VERSION, false},
      {VELMIRA_EXE, {"--nada"}, 2, "velmira: opción desconocida: --nada", true},
      {VELMIRA_EXE, {"fichero"}, 2, "velmira: opción desconocida: fichero", true},
#ifdef VELMIRA_SIM_EXE
      {VELMIRA_SIM_EXE, {"--help"}, 0, "Uso: velmira-sim [opciones]", false},
      {VELMIRA_SIM_EXE, {"--version"}, 0, "velmira-sim " VELMIRA_VERSION, false},
      {VELMIRA_SIM_EXE, {"--nada"}, 2, "velmira-sim: Opción desconocida: --nada", true},
#endif
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.exe) + " " + c.args[0];
    // The window's options are checked with a display at hand, as on a desktop.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test::ChildProcess p(c.exe, c.args);
    EXPECT_EQ(p.wait(10000), c.status) << what;
    std::string out = c.toStderr ? p.errorOutput() : p.output();
    // Qt's own notes on the error output come before ours.
    if (c.toStderr) {
      const size_t at = out.find(std::string(c.firstLine).substr(0, 8));
      if (at != std::string::npos) out = out.substr(at);
    }
    EXPECT_EQ(out.substr(0, out.find('\n')), c.firstLine) << what;
  }
}

}  // namespace
}  // namespace velmira
