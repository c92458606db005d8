#include "qt/window_main.h"

#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/form_principal.h"
#include "qt/ending.h"
#include "qt/main_view.h"
#include "qt/real_platform.h"
#include "qt/spanish_texts.h"

namespace velmira::qt {
namespace {

// Qt's notes while it opens the window system are held back: when it finds
// no display it ends the process with a long English explanation and a core
// dump, and the user is told in one Spanish line instead.  When the display
// opens, the held notes are printed as Qt would have printed them.
std::vector<std::string>* heldNotes = nullptr;

std::string noDisplayLine() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool none = (!x11 || !*x11) && (!wayland || !*wayland);
  std::string line = "velmira: ";
  if (none) {
    line += "no hay ninguna pantalla gráfica (DISPLAY y WAYLAND_DISPLAY están vacías)";
  } else {
    line += "no se puede abrir la pantalla gráfica «";
    line += wayland && *wayland ? wayland : x11;
    line += "»";
  }
  return line + "; la ventana de Velmira necesita una sesión de escritorio.\n";
}

void holdWhileOpening(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    const std::string line = noDisplayLine();
    (void)!write(STDERR_FILENO, line.data(), line.size());
    _exit(1);
  }
  heldNotes->push_back(qFormatLogMessage(type, context, text).toStdString());
}

std::unique_ptr<QApplication> openWindowSystem(int& argc, char** argv) {
  std::vector<std::string> held;
  heldNotes = &held;
  const QtMessageHandler previous = qInstallMessageHandler(holdWhileOpening);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous);
  heldNotes = nullptr;
  for (const std::string& note : held) std::fprintf(stderr, "%s\n", note.c_str());
  return app;
}

}  // namespace

int runWindow(int& argc, char** argv) {
  std::unique_ptr<QApplication> app = openWindowSystem(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velmira"));
  QApplication::setApplicationVersion(QStringLiteral(VELMIRA_VERSION));
  // The window is Spanish: Qt's own texts (the fields' context menus, the
  // standard buttons) too.
  installSpanishQtTexts();
  QApplication::setStyle(QStringLiteral("Fusion"));  // the style that shows the buttons' face colours
  RealPlatform machine;
  Form_Principal form(machine.platform);
  MainView view(form);
  // From here on a signal or the session's end leaves the controller safe.
  EndFromOutside ending(form, machine.process);
  try {
    // The load handler, then the window is shown.
    form.start();
  } catch (const ProgramEnded&) {
    return 0;
  }
  return QApplication::exec();
}

}  // namespace velmira::qt
