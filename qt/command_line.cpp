#include "qt/command_line.h"

#include <array>
#include <string_view>
#include <utility>

namespace velmira::qt {

const char* const kUsage =
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
    "Códigos de salida: 0 fin normal, 1 sin pantalla gráfica para la ventana,\n"
    "2 opciones no válidas; terminado por una señal (SIGTERM, SIGINT, SIGHUP), deja\n"
    "el motor apagado y termina por esa señal.\n"
    "Con --apilar: 0 apilada, 1 una herramienta falló o el disco está lleno, 2\n"
    "opciones no válidas, 3 carpeta vacía, foto ilegible o de otro tamaño, 4 faltan\n"
    "las herramientas, 130 cancelado (Ctrl+C: no deja nada a medias).\n";

namespace {

// Qt's options for the window (QGuiApplication, QApplication and the X11
// plug-in), with one dash or two.
constexpr std::array<std::string_view, 15> kToolkitWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "geometry", "title", "icon",
    "display", "session", "name", "style", "stylesheet"};
constexpr std::array<std::string_view, 6> kToolkitFlags = {"reverse", "widgetcount", "nograb",
                                                           "dograb", "sync", "testability"};
constexpr std::array<std::string_view, 3> kToolkitJoined = {"style=", "stylesheet=", "qmljsdebugger="};

template <size_t N>
bool among(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::string_view n : names)
    if (n == name) return true;
  return false;
}

CommandLine invalid(std::string problem) { return {CommandLine::Mode::Invalid, std::move(problem)}; }

}  // namespace

CommandLine readCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") return {CommandLine::Mode::Help, {}};
    if (arg == "-v" || arg == "--version") return {CommandLine::Mode::Version, {}};
    if (line.mode != CommandLine::Mode::Window) continue;  // only help or version can still change it
    // The fusion of a folder reads the rest itself.
    if (arg == "--apilar" || arg.substr(0, 9) == "--apilar=" || arg == "--salida" || arg.substr(0, 9) == "--salida=") {
      line = {CommandLine::Mode::Stack, {}};
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      line = invalid("opción desconocida: " + std::string(arg));
      continue;
    }
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    bool joined = false;
    for (std::string_view prefix : kToolkitJoined)
      if (name.substr(0, prefix.size()) == prefix) joined = true;
    if (joined || among(kToolkitFlags, name)) continue;
    if (among(kToolkitWithValue, name)) {
      if (++i == argc) line = invalid("falta el valor de la opción " + std::string(arg));
      continue;
    }
    line = invalid("opción desconocida: " + std::string(arg));
  }
  return line;
}

}  // namespace velmira::qt
