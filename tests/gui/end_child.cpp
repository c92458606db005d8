// The program's window with its real clock, event passes, serial port,
// process end and its own handling of the end from outside, on the Qt
// platform it is given (offscreen, or an X server the test takes away),
// started on the simulated rail and put to work: a long positioning move
// ("mover") or a stack run whose shots hold the controller's shutter output
// for 1000 ms ("disparo").  The tests end it from outside in the middle.
//   velmira-end-child PORTS_DIR mover|disparo [Qt options]
#include <QApplication>
#include <cstdio>
#include <string>

#include "qt/ending.h"
#include "qt/handler_call.h"
#include "qt/main_view.h"
#include "qt/qt_platform.h"
#include "tests/support/fake_platform.h"

using namespace velmira;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string portsDir = argv[1], mode = argv[2];
  QApplication app(argc, argv);
  platform::PortRegistry registry;
  platform::PortEnumerator enumerator{registry, nullptr, portsDir};
  platform::PosixSerialPort serial{registry};
  test::Transcript transcript;  // the boxes shown, for the test's failure output
  test::VirtualClock unused{transcript};
  test::FakeKeys keys{transcript, unused};
  test::FakeMessages boxes{transcript, unused};
  qt::QtClock clock;
  qt::QtEventPump events;
  platform::PosixFiles files;
  test::FakePictures pictures;
  test::FakeInstance instance;
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
  for (const platform::MessageBoxRequest& r : boxes.shown) std::fprintf(stderr, "box: %s %s\n", r.text.c_str(), r.detail.c_str());
  QApplication::exec();
  return 4;  // the end never came
}
