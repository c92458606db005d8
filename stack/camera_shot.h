// The third way to fire the camera, "Cámara USB": the camera on a USB cable,
// fired and read through the camera library.  The run opens it once when it
// starts, and at every photo point fires it and writes the new photo into
// the stack's own folder with the stack's record (camera/record.h).
#pragma once

#include <memory>
#include <string>

#include "app/form_principal.h"
#include "camera/record.h"

namespace velmira::stack {

// Disparo's index of the USB camera.
constexpr int kModoCamara = 2;

// "No se encuentra ninguna cámara por USB: ..." / "Cámara USB: <model>".
inline constexpr const char* kSinCamara =
    "No se encuentra ninguna cámara por USB: conéctela, enciéndala y elija otra vez el modo.";

// The mode was chosen: looks for a camera and says in the message field
// what it found.
void Buscar_Camara(Form_Principal& f);

// A stack run's camera, open from the run's start to its end, its folder
// and its record.  Whatever way the run ends, the record gets its end and
// the camera is released.
class Sesion_Camara {
 public:
  Sesion_Camara(Form_Principal& f, platform::Camera& camara) : f_(f), camara_(camara) {}
  ~Sesion_Camara();
  Sesion_Camara(const Sesion_Camara&) = delete;
  Sesion_Camara& operator=(const Sesion_Camara&) = delete;

  // Opens the camera and makes the stack's folder and record.  False when
  // it cannot: the cause was shown and the run was stopped.
  bool Abrir(const std::vector<std::pair<std::string, std::string>>& parametros);
  // Fires the camera at the rail's `posicion` and keeps the photo; counts
  // it once the file is whole on the disk.  False when the camera failed:
  // the cause was shown, the run was stopped and no photo was counted.
  bool Disparar(double posicion);
  // The end of the run, as the record says it.
  void Terminar(const std::string& como);
  const std::string& carpeta() const { return carpeta_; }
  // Why the camera stopped the run (empty when it did not).
  const std::string& fallo() const { return fallo_; }

 private:
  void Fallar(const platform::Camera::Error& error);

  Form_Principal& f_;
  platform::Camera& camara_;
  bool abierta_ = false;
  std::string carpeta_;
  std::unique_ptr<camera::Registro> registro_;
  int numero_ = 0;  // photos kept
  std::string fallo_;
};

// The cause of a camera failure, in Spanish, as the box and the message
// field say it.
std::string Causa_Camara(const platform::Camera::Error& error);

}  // namespace velmira::stack
