// The program's window on the platform Qt is given (an X server with
// "-display"), with its real clock, event passes, serial port, process end
// and its own handling of the end from outside, started on the simulated
// rail and put to work: a long positioning move ("mover") or a stack run
// whose shots hold the controller's shutter output for 1000 ms ("disparo").
// The tests end its display, or stall its line and signal it, in the middle.
//   velmira-window-end-child PORTS_DIR mover|disparo [Qt options]
#include <QApplication>
#include <cstdio>
#include <string>

#include "platform/port_enumerator.h"
#include "platform/port_registry.h"
#include "platform/posix_files.h"
#include "platform/posix_serial_port.h"
#include "qt/ending.h"
#include "qt/handler_call.h"
#include "qt/main_view.h"
#include "qt/qt_platform.h"
#include "tests/support/fake_platform.h"

using namespace velmira;

namespace {

struct NoKeys : platform::KeySynth {
  std::optional<std::string> unavailableReason() override { return "sin teclado"; }
  void keyEvent(uint8_t, uint8_t, uint32_t, uintptr_t) override {}
};
struct BoxesToStderr : platform::MessageBoxes {
  void show(const platform::MessageBoxRequest& r) override { std::fprintf(stderr, "box: %s\n", r.detail.c_str()); }
};
struct NoPictures : platform::Pictures {
  bool canLoad(const std::string&) override { return false; }
};
struct Alone : platform::InstanceGuard {
  bool otherInstanceRunning() override { return false; }
  bool activate(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string portsDir = argv[1], mode = argv[2];
  QApplication app(argc, argv);
  platform::PortRegistry registry;
  platform::PortEnumerator enumerator{registry, nullptr, portsDir};
  platform::PosixSerialPort serial{registry};
  NoKeys keys;
  qt::QtClock clock;
  qt::QtEventPump events;
  BoxesToStderr boxes;
  platform::PosixFiles files;
  NoPictures pictures;
  Alone instance;
  qt::QtProcess process;
  platform::Platform platform{serial, enumerator, keys, clock, events, boxes, files, pictures, instance, process};
  Form_Principal form(platform);
  qt::MainView view(form);
  qt::EndFromOutside ending(form, process);
  form.start();
  form.ComboBoxCOM.setListIndex(0);
  form.Command_CONECTAR.click();
  if (form.Command_CONECTAR.caption() != "DESCONECTAR") return 3;
  std::fprintf(stderr, "connected\n");
  if (mode == "mover") {
    form.hscVelocidad.setValue(5);
    form.Text9.setText("100000");
    qt::runHandler(form, [&] { form.Mover.click(); });
  } else {
    test::controllerShot(form);
    test::runFields(form, "5", "2", "0", "0");
    qt::runHandler(form, [&] { form.B_Procesar.click(); });
  }
  // A link failure ends the handler early: the window goes on, as the
  // program's would, until the end comes.
  QApplication::exec();
  return 4;  // the end never came
}
