// One folder and one record per stack taken with a USB camera: the photos
// as foto-0001.jpg ..., and beside them the record of the run, pila.json
// for programs and pila.txt for people.  Both are brought up to date after
// every frame and are on the disk before the next shot: a crash or an
// unplugged camera leaves a valid record up to the last frame kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace velmira::camera {

// "2026-12-08_03-42-44", the local time of `wallMs`: the stack's folder.
std::string Nombre_Carpeta(int64_t wallMs);
// "2026-12-08T03:42:44.125+01:00", the local time with its offset.
std::string Hora(int64_t wallMs);
// "foto-0001": the name of frame `numero`'s photos, without extension.
std::string Nombre_Foto(int numero);

// What the record keeps of the run's start.
struct Inicio {
  int64_t wallMs = 0;
  std::vector<std::pair<std::string, std::string>> parametros;  // name, value as read
  std::string modelo, serie, puerto;                            // the camera's
};

struct Fotograma {
  int numero = 0;
  double posicion = 0;  // the rail's position in steps at the shot
  int64_t wallMs = 0;
  std::vector<platform::Camera::File> archivos;
};

class Registro {
 public:
  Registro(platform::Files& files, std::string carpeta) : files_(files), carpeta_(std::move(carpeta)) {}
  // Each returns why the record could not be written (nothing when it was).
  std::optional<std::string> empezar(const Inicio& inicio);
  std::optional<std::string> anotar(const Fotograma& fotograma);
  // How the run ended ("terminada", "detenida por el usuario", a failure
  // with its cause) and when; only the first call counts.
  std::optional<std::string> terminar(const std::string& como, int64_t wallMs);
  bool terminado() const { return fin_.has_value(); }
  const std::string& carpeta() const { return carpeta_; }

 private:
  std::optional<std::string> escribirJson();
  std::optional<std::string> anadirTexto(const std::string& lineas);

  platform::Files& files_;
  std::string carpeta_;
  Inicio inicio_;
  std::vector<Fotograma> fotogramas_;
  std::optional<std::pair<std::string, int64_t>> fin_;
};

}  // namespace velmira::camera
