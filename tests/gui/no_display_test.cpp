// Where there is no display (a terminal over SSH, a service): the command
// line is still read, a wrong option refused with status 2, and the window
// that cannot open says so in one Spanish line with status 1, no core dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/sim_harness.h"

namespace velmira {
namespace {

TEST(NoDisplay, OptionsAreReadAndTheMissingDisplayIsOneSpanishLine) {
  const std::string help = "Pruebe «velmira --help».\n";
  const std::string needs = "; la ventana de Velmira necesita una sesión de escritorio.\n";
  struct Case { std::vector<std::string> env; std::vector<std::string> args; int status; std::string err; };
  const std::vector<Case> cases = {
      {{}, {"--nada"}, 2, "velmira: opción desconocida: --nada\n" + help},
      {{}, {"-platform"}, 2, "velmira: falta el valor de la opción -platform\n" + help},
      {{}, {}, 1, "velmira: no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY están vacías)" + needs},
      // A display named but not there (a stale DISPLAY over SSH).
      {{"DISPLAY=:32123"}, {}, 1, "velmira: no se puede abrir la pantalla gráfica «:32123»" + needs},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};
    args.insert(args.end(), c.env.begin(), c.env.end());
    args.push_back(VELMIRA_EXE);
    args.insert(args.end(), c.args.begin(), c.args.end());
    test::ChildProcess p("/usr/bin/env", args);
    const std::string what = c.args.empty() ? "(no options)" : c.args[0];
    EXPECT_EQ(p.wait(10000), c.status) << what;
    EXPECT_EQ(p.errorOutput(), c.err) << what;
  }
}

}  // namespace
}  // namespace velmira
