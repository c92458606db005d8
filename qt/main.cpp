// Velmira: the main window over the machine's platform.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstring>

#include "app/form_principal.h"
#include "qt/ending.h"
#include "qt/main_view.h"
#include "qt/real_platform.h"
#include "qt/spanish_texts.h"
#include "stacking/command_line.h"

namespace {

constexpr const char* kHelp =
    "Uso: velmira [opciones]\n"
    "\n"
    "Mueve un carril motorizado de macrofotografía, paso a paso, a través de su\n"
    "controlador (una placa tipo Arduino en un puerto serie) y dispara la cámara en\n"
    "cada posición, con el controlador o con una tecla de función para el programa de\n"
    "la cámara. Sin opciones abre la ventana.\n"
    "\n"
    "Opciones:\n"
    "  -h, --help     esta ayuda\n"
    "  -v, --version  la versión\n"
    "  --apilar CARPETA [--salida ARCHIVO]\n"
    "                 apila las fotos de CARPETA, por orden de nombre, en una foto\n"
    "                 nítida: CARPETA/apilada.tif (16 bits) y CARPETA/apilada.jpg, o\n"
    "                 ARCHIVO (.tif o .jpg); sin ventana. Necesita align_image_stack\n"
    "                 y enfuse (sudo apt install hugin-tools enfuse)\n"
    "\n"
    "Sin carril a mano: velmira-sim crea uno simulado que aparece en la lista de\n"
    "puertos (velmira-sim --help).\n"
    "Códigos de salida: 0 fin normal, 2 opciones no válidas; terminado por una señal\n"
    "(SIGTERM, SIGINT, SIGHUP), deja el motor apagado y termina por esa señal.\n"
    "Con --apilar: 0 apilada, 1 una herramienta falló o el disco está lleno, 2\n"
    "opciones no válidas, 3 carpeta vacía, foto ilegible o de otro tamaño, 4 faltan\n"
    "las herramientas, 130 cancelado (Ctrl+C: no deja nada a medias).\n";

}  // namespace

int main(int argc, char** argv) {
  // Stacking a folder needs no window (and no display).
  if (velmira::stacking::wantsStackCommand(argc, argv)) return velmira::stacking::stackCommandMain(argc, argv);
  // Help and version need no window (and no display).
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "-v") || !std::strcmp(argv[i], "--version")) {
      std::puts("velmira " VELMIRA_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velmira"));
  QApplication::setApplicationVersion(QStringLiteral(VELMIRA_VERSION));
  // Anything left once Qt took its own options (-platform, -display ...) is
  // not an option of Velmira.
  QCommandLineParser options;
  options.addOptions({{{QStringLiteral("h"), QStringLiteral("help")}, QString()},
                      {{QStringLiteral("v"), QStringLiteral("version")}, QString()}});
  if (!options.parse(QApplication::arguments()) || !options.positionalArguments().isEmpty()) {
    const QString name = options.unknownOptionNames().value(0);
    const QString what = name.isEmpty()       ? options.positionalArguments().value(0)
                         : name.size() == 1 ? QStringLiteral("-") + name
                                            : QStringLiteral("--") + name;
    std::fprintf(stderr, "velmira: opción desconocida: %s\nPruebe «velmira --help».\n", qPrintable(what));
    return 2;
  }
  // The window is Spanish: Qt's own texts (the fields' context menus, the
  // standard buttons) too.
  velmira::qt::installSpanishQtTexts();
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
