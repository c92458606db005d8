// The port scan of start-up with many virtual ports published: the time to
// list 1,000 to 10,000 links in the ports folder into the window's list
// (real window, offscreen).  The time per port should not grow with the
// count.
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "qt/main_view.h"
#include "tests/support/fake_platform.h"
#include "tests/support/sim_harness.h"

using namespace velmira;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  std::printf("%8s %10s %12s\n", "ports", "scan ms", "us per port");
  for (int count : {1000, 2000, 4000, 10000}) {
    test::PortsDir ports;
    std::filesystem::create_directories(ports.path());
    std::filesystem::permissions(ports.path(), std::filesystem::perms::owner_all);
    for (int i = 0; i < count; ++i)
      std::filesystem::create_symlink(name, ports.path() + "/carril-" + std::to_string(i));
    test::Rig rig{{.portsDir = ports.path()}};
    Form_Principal& form = rig.form();
    qt::MainView view(form);
    const auto from = std::chrono::steady_clock::now();
    form.BuscarPuerto_Click();
    QApplication::processEvents();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
    std::printf("%8d %10.1f %12.1f\n", form.ComboBoxCOM.listCount(), ms, 1000 * ms / count);
  }
  return 0;
}
