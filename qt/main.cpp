// Velmira: the main window over the machine's platform.
#include <QApplication>

#include "app/form_principal.h"
#include "qt/ending.h"
#include "qt/main_view.h"
#include "qt/real_platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));  // the style that shows the buttons' face colours
  velmira::qt::RealPlatform machine;
  velmira::Form_Principal form(machine.platform);
  velmira::qt::MainView view(form);
  // From here on a signal or the session's end leaves the controller safe.
  velmira::qt::EndFromOutside ending(form, machine.process);
  try {
    // The load handler, then the window is shown.
    form.start();
  } catch (const velmira::ProgramEnded&) {
    return 0;
  }
  return QApplication::exec();
}
