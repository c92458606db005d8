// The command lines of both programs: help and version without a window,
// anything else refused with status 2.  Where there is no display (a
// terminal over SSH, a service) the options are still read, and the window
// that cannot open says so in one Spanish line with status 1, no core dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

TEST(CommandLine, HelpVersionUnknownOptionsAndNoDisplay) {
  const std::string help = "Pruebe «velmira --help».\n";
  const std::string needs = "; la ventana de Velmira necesita una sesión de escritorio.\n";
  // With a display at hand, as on a desktop, the first line of ours counts;
  // without one, the whole error output.
  const std::vector<std::string> desktop = {"QT_QPA_PLATFORM=offscreen"};
  const std::vector<std::string> none = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
  std::vector<std::string> stale = none;
  stale.push_back("DISPLAY=:32123");  // a display named but not there (a stale DISPLAY over SSH)
  struct Case { std::vector<std::string> env; std::string exe; std::vector<std::string> args; int status; std::string out; };
  std::vector<Case> cases = {
      {desktop, VELMIRA_EXE, {"--help"}, 0, "Uso: velmira [opciones]"},
      {desktop, VELMIRA_EXE, {"-h"}, 0, "Uso: velmira [opciones]"},
      {desktop, VELMIRA_EXE, {"--version"}, 0, "velmira " VELMIRA_VERSION},
      {desktop, VELMIRA_EXE, {"--nada"}, 2, "velmira: opción desconocida: --nada"},
      {desktop, VELMIRA_EXE, {"fichero"}, 2, "velmira: opción desconocida: fichero"},
#ifdef VELMIRA_SIM_EXE
      {desktop, VELMIRA_SIM_EXE, {"--help"}, 0, "Uso: velmira-sim [opciones]"},
      {desktop, VELMIRA_SIM_EXE, {"--version"}, 0, "velmira-sim " VELMIRA_VERSION},
      {desktop, VELMIRA_SIM_EXE, {"--nada"}, 2, "velmira-sim: Opción desconocida: --nada"},
#endif
      {none, VELMIRA_EXE, {"--nada"}, 2, "velmira: opción desconocida: --nada\n" + help},
      {none, VELMIRA_EXE, {"-platform"}, 2, "velmira: falta el valor de la opción -platform\n" + help},
      {none, VELMIRA_EXE, {}, 1, "velmira: no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY están vacías)" + needs},
      {stale, VELMIRA_EXE, {}, 1, "velmira: no se puede abrir la pantalla gráfica «:32123»" + needs},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.env;
    args.push_back(c.exe);
    args.insert(args.end(), c.args.begin(), c.args.end());
    test::ChildProcess p("/usr/bin/env", args);
    const std::string what = c.exe + " " + (c.args.empty() ? "(no options)" : c.args[0]);
    EXPECT_EQ(p.wait(10000), c.status) << what;
    std::string out = c.status == 0 ? p.output() : p.errorOutput();
    if (c.env != desktop) {
      EXPECT_EQ(out, c.out) << what;
      continue;
    }
    // Qt's own notes on the error output come before ours.
    out = out.substr(std::min(out.size(), out.find(c.out.substr(0, 8))));
    EXPECT_EQ(out.substr(0, out.find('\n')), c.out) << what;
  }
}

}  // namespace
}  // namespace velmira
