#include "camera/record.h"

#include <cstdio>
#include <ctime>

#include "base/numbers.h"

namespace velmira::camera {
namespace {

std::tm Local(int64_t wallMs) {
  const std::time_t s = static_cast<std::time_t>(wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000);
  std::tm t{};
  localtime_r(&s, &t);
  return t;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// A whole number of steps without decimals; anything else as the window
// writes numbers.
std::string Numero(double v) {
  if (v == static_cast<double>(static_cast<long long>(v)) && v > -1e15 && v < 1e15)
    return std::to_string(static_cast<long long>(v));
  std::string s = numberToText(v);
  for (char& c : s)
    if (c == ',') c = '.';
  return s;
}

std::string Archivos_Texto(const std::vector<platform::Camera::File>& archivos) {
  std::string out;
  for (const auto& a : archivos) {
    if (!out.empty()) out += ", ";
    out += a.name + " (" + std::to_string(a.bytes) + " bytes)";
  }
  return out;
}

}  // namespace

std::string Nombre_Carpeta(int64_t wallMs) {
  std::tm t = Local(wallMs);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d_%H-%M-%S", &t);
  return buf;
}

std::string Hora(int64_t wallMs) {
  std::tm t = Local(wallMs);
  char fecha[32], zona[8];
  std::strftime(fecha, sizeof fecha, "%Y-%m-%dT%H:%M:%S", &t);
  std::strftime(zona, sizeof zona, "%z", &t);  // +0100
  std::string z = zona;
  if (z.size() == 5) z.insert(3, ":");
  char ms[8];
  std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(((wallMs % 1000) + 1000) % 1000));
  return std::string(fecha) + ms + z;
}

std::string Nombre_Foto(int numero) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "foto-%04d", numero);
  return buf;
}

std::optional<std::string> Registro::empezar(const Inicio& inicio) {
  inicio_ = inicio;
  std::string t = "Velmira " VELMIRA_VERSION ": pila de fotos\n";
  t += "Inicio: " + Hora(inicio.wallMs) + "\n";
  t += "Cámara: " + inicio.modelo + (inicio.serie.empty() ? "" : ", número de serie " + inicio.serie) +
       ", puerto " + inicio.puerto + "\n";
  for (const auto& [nombre, valor] : inicio.parametros) t += nombre + ": " + valor + "\n";
  t += "\nFotograma\tPosición (pasos)\tHora\tArchivos\n";
  if (auto fallo = anadirTexto(t)) return fallo;
  return escribirJson();
}

std::optional<std::string> Registro::anotar(const Fotograma& f) {
  fotogramas_.push_back(f);
  if (auto fallo = anadirTexto(std::to_string(f.numero) + "\t" + Numero(f.posicion) + "\t" + Hora(f.wallMs) +
                               "\t" + Archivos_Texto(f.archivos) + "\n"))
    return fallo;
  return escribirJson();
}

std::optional<std::string> Registro::terminar(const std::string& como, int64_t wallMs) {
  if (fin_) return std::nullopt;
  fin_ = {como, wallMs};
  if (auto fallo = anadirTexto("\nFin: " + Hora(wallMs) + "\nFotos: " + std::to_string(fotogramas_.size()) +
                               "\nFinal: " + como + "\n"))
    return fallo;
  return escribirJson();
}

std::optional<std::string> Registro::anadirTexto(const std::string& lineas) {
  return files_.appendFile(carpeta_ + "/pila.txt", lineas);
}

std::optional<std::string> Registro::escribirJson() {
  std::string j = "{\n  \"programa\": \"Velmira\",\n  \"version\": " + Json(VELMIRA_VERSION) + ",\n";
  j += "  \"inicio\": " + Json(Hora(inicio_.wallMs)) + ",\n";
  j += "  \"fin\": " + (fin_ ? Json(Hora(fin_->second)) : std::string("null")) + ",\n";
  j += "  \"parametros\": {";
  bool primero = true;
  for (const auto& [nombre, valor] : inicio_.parametros) {
    j += std::string(primero ? "\n" : ",\n") + "    " + Json(nombre) + ": " + Json(valor);
    primero = false;
  }
  j += "\n  },\n  \"camara\": {\"modelo\": " + Json(inicio_.modelo) + ", \"serie\": " + Json(inicio_.serie) +
       ", \"puerto\": " + Json(inicio_.puerto) + "},\n";
  j += "  \"fotogramas\": [";
  for (size_t i = 0; i < fotogramas_.size(); ++i) {
    const Fotograma& f = fotogramas_[i];
    j += std::string(i ? ",\n" : "\n") + "    {\"numero\": " + std::to_string(f.numero) +
         ", \"posicion\": " + Numero(f.posicion) + ", \"hora\": " + Json(Hora(f.wallMs)) + ", \"archivos\": [";
    for (size_t k = 0; k < f.archivos.size(); ++k)
      j += std::string(k ? ", " : "") + "{\"nombre\": " + Json(f.archivos[k].name) +
           ", \"bytes\": " + std::to_string(f.archivos[k].bytes) + "}";
    j += "]}";
  }
  j += std::string(fotogramas_.empty() ? "" : "\n  ") + "],\n";
  j += "  \"fotos\": " + std::to_string(fotogramas_.size()) + ",\n";
  j += "  \"final\": " + (fin_ ? Json(fin_->first) : std::string("null")) + "\n}\n";
  return files_.replaceFile(carpeta_ + "/pila.json", j);
}

}  // namespace velmira::camera
