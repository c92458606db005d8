#include "sim/options.h"

#include <charconv>

namespace velmira::sim {
namespace {

std::optional<int64_t> wholeNumber(const std::string& text, int64_t min) {
  int64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < min) return std::nullopt;
  return v;
}

}  // namespace

std::string helpText() {
  return "Uso: velmira-sim [opciones]\n"
         "\n"
         "Carril macro simulado: un controlador de motor paso a paso al otro lado de un\n"
         "pseudoterminal, publicado en el directorio de puertos virtuales del usuario para\n"
         "que Velmira lo encuentre con \"Buscar Puerto\" como \"... (pts/N) (COMn)\".\n"
         "Decodifica cada byte: \"a\"-\"d\" fases del motor (un paso adelante o atrás; una\n"
         "letra fuera de orden es un paso perdido), \"p\" apaga el motor, \"r\"/\"s\" abren y\n"
         "cierran la salida de disparo; cualquier otro byte es un error de protocolo.\n"
         "Con --avr, en lugar de ese modelo corre el firmware real del controlador en el\n"
         "simulador AVR (ATmega328P a 16 MHz) y el carril se lee en sus patillas: pulsos\n"
         "STEP con DIR y ENABLE (D2-D4) o las cuatro bobinas (D8-D11), y D13 el disparo.\n"
         "\n"
         "Opciones:\n"
         "  --name NOMBRE            nombre del puerto (por omisión velmira-sim-<pid>-<n>)\n"
         "  --dir DIRECTORIO         directorio de puertos (por omisión el de Velmira)\n"
         "  --phase L                fase (a-d) en la que reposa el rotor al arrancar; sin\n"
         "                           ella la primera letra solo energiza el motor\n"
         "  --log FICHERO            un objeto JSON por byte: t_ms, byte, pos, event\n"
         "  --avr FIRMWARE           el firmware (.elf o .hex) en el simulador AVR; el\n"
         "                           driver (STEP/DIR o 4 hilos) se deduce de sus salidas\n"
         "  --pin-log FICHERO        con --avr: un objeto JSON por cambio de patilla:\n"
         "                           t_us, pin (D2, D13...), high\n"
         "  --status                 estado en vivo en una línea (salida de errores)\n"
         "  --summary-json           el resumen final en JSON\n"
         "  --vanish-after-bytes N   desaparece (adaptador desenchufado) tras N bytes\n"
         "  --vanish-after-ms T      desaparece T ms después de arrancar\n"
         "  --baud B                 recibe al ritmo de una línea de B baudios (10 bits por\n"
         "                           byte) e informa de la mayor cola vista\n"
         "  --reset-ms N             la placa se reinicia al abrir el puerto: ignora (y\n"
         "                           cuenta como perdidos) los bytes de los primeros N ms\n"
         "  -h, --help               esta ayuda\n"
         "  -v, --version            la versión\n"
         "\n"
         "Termina con Ctrl+C o SIGTERM (o al desaparecer) y muestra un resumen.\n"
         "Códigos de salida: 0 fin normal, 1 no se pudo crear el puerto, 2 opciones no válidas.\n";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto number = [&](int64_t min) -> std::optional<int64_t> {
      std::optional<std::string> v = value();
      return v ? wholeNumber(*v, min) : std::nullopt;
    };
    std::optional<int64_t> n;
    if (a == "-h" || a == "--help") {
      c.help = true;
    } else if (a == "-v" || a == "--version") {
      c.version = true;
    } else if (a == "--status") {
      c.status = true;
    } else if (a == "--summary-json") {
      c.summaryJson = true;
    } else if (a == "--name" || a == "--dir" || a == "--log" || a == "--avr" || a == "--pin-log") {
      std::optional<std::string> v = value();
      if (!v || v->empty()) return {std::nullopt, "Falta el valor de " + a};
      (a == "--name" ? c.rail.name : a == "--dir" ? c.rail.portsDir : a == "--log" ? c.rail.logPath
                                   : a == "--avr" ? c.rail.avrImage : c.rail.pinLogPath) = *v;
    } else if (a == "--phase") {
      std::optional<std::string> v = value();
      if (!v || v->size() != 1 || (*v)[0] < 'a' || (*v)[0] > 'd') return {std::nullopt, "--phase necesita una letra de \"a\" a \"d\""};
      c.rail.restPhase = (*v)[0];
    } else if (a == "--vanish-after-bytes" || a == "--vanish-after-ms" || a == "--reset-ms") {
      if (!(n = number(0))) return {std::nullopt, a + " necesita un número entero no negativo"};
      (a == "--vanish-after-bytes" ? c.rail.vanishAfterBytes : a == "--vanish-after-ms" ? c.rail.vanishAfterMs : c.rail.resetMs) = *n;
    } else if (a == "--baud") {
      if (!(n = number(1)) || *n > 4'000'000) return {std::nullopt, "--baud necesita una velocidad positiva en baudios"};
      c.rail.baud = static_cast<int>(*n);
    } else {
      return {std::nullopt, "Opción desconocida: " + a};
    }
  }
  if (!c.rail.avrImage.empty() && c.rail.restPhase)
    return {std::nullopt, "--phase no vale con --avr: el firmware decide dónde empieza"};
  if (c.rail.avrImage.empty() && !c.rail.pinLogPath.empty())
    return {std::nullopt, "--pin-log necesita --avr"};
  return {c, {}};
}

}  // namespace velmira::sim
