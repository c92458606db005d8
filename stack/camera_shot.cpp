// The USB camera's shot: the camera opened for the run, fired at each photo
// point, its photo kept in the stack's folder and written in the record.
#include "stack/camera_shot.h"

#include "base/numbers.h"
#include "motion/motion.h"

namespace velmira::stack {
namespace {

using Cause = platform::Camera::Cause;

// The window looks at the camera this often while it shoots: short against
// the camera's own second or more, long enough to cost nothing.
constexpr int kSondeoMs = 5;
// A busy camera (writing the last photo, unable to focus) is asked again
// this many times, this far apart: about two seconds in all.
constexpr int kReintentosOcupada = 4;
constexpr int kEsperaOcupadaMs = 500;

}  // namespace

std::string Causa_Camara(const platform::Camera::Error& e) {
  const std::string detalle = e.detail.empty() ? "" : " (" + e.detail + ")";
  switch (e.cause) {
    case Cause::None:
      return {};
    case Cause::NotFound:
      return "No se encuentra ninguna cámara por USB: conéctela y enciéndala.";
    case Cause::Gone:
      return "La cámara USB no responde: se ha desconectado o apagado.";
    case Cause::Busy:
      return "La cámara USB está ocupada y no dispara: no consigue enfocar o aún está guardando la foto "
             "anterior.";
    case Cause::Full:
      return "La tarjeta o la memoria de la cámara USB está llena.";
    case Cause::Claimed:
      return "Otro programa está usando la cámara USB, casi siempre el propio escritorio, que la monta al "
             "conectarla. Libérela desmontándola en el gestor de archivos o con la orden "
             "«gio mount -s gphoto2» y vuelva a intentarlo.";
    case Cause::Permission:
      return "No hay permiso para usar la cámara USB: instale el paquete libgphoto2-6 (trae las reglas de "
             "las cámaras) y desconecte y vuelva a conectar la cámara.";
    case Cause::Disk:
      return "No se puede guardar la foto en el ordenador: " + e.detail + ".";
    case Cause::Other:
      break;
  }
  return "La cámara USB ha fallado" + detalle + ".";
}

void Buscar_Camara(Form_Principal& f) {
  platform::Camera* camara = f.plataforma().camera;
  platform::Camera::Error error;
  std::optional<platform::Camera::Found> encontrada = camara ? camara->find(&error) : std::nullopt;
  if (encontrada)
    f.Text_Mensajes.setText("Cámara USB: " + encontrada->model);
  else if (error.cause == Cause::None || error.cause == Cause::NotFound)
    f.Text_Mensajes.setText(kSinCamara);
  else
    f.Text_Mensajes.setText(Causa_Camara(error));
}

Sesion_Camara::~Sesion_Camara() {
  // A run left by the program's end inside it: the record says so.
  if (registro_ && !registro_->terminado())
    registro_->terminar("interrumpida: el programa se cerró", f_.plataforma().clock.wallMs());
  if (abierta_) camara_.close();
}

void Sesion_Camara::Fallar(const platform::Camera::Error& error) {
  fallo_ = Causa_Camara(error);
  // The motor is stopped before the box, which may wait a long time for
  // the user.
  motion::Detener(f_, true);
  f_.Text_Mensajes.setText(fallo_);
  std::string detalle;
  if (numero_ > 0) detalle = "Las fotos ya descargadas están en " + carpeta_ + ".";
  f_.plataforma().messages.show({fallo_, f_.plataforma().process.title(), platform::Icon::Critical, detalle});
}

bool Sesion_Camara::Abrir(const std::vector<std::pair<std::string, std::string>>& parametros) {
  platform::Camera::Error error;
  std::optional<platform::Camera::Found> encontrada = camara_.find(&error);
  if (!encontrada) {
    Fallar(error.cause == Cause::None ? platform::Camera::Error{Cause::NotFound, {}} : error);
    return false;
  }
  std::string serie;
  for (;;) {
    error = camara_.open(&*encontrada, &serie);
    if (error.cause != Cause::Claimed) break;
    // Another program holds it: once it is released the run can go on.
    if (!f_.plataforma().messages.askRetry(
            {Causa_Camara(error), f_.plataforma().process.title(), platform::Icon::Critical, {}}))
      break;
  }
  if (error.cause != Cause::None) {
    Fallar(error);
    return false;
  }
  abierta_ = true;

  // <Pictures>/Velmira/<date_time>; a second stack within the same second
  // gets a folder of its own.
  const int64_t ahora = f_.plataforma().clock.wallMs();
  std::string base = f_.plataforma().process.picturesDir();
  if (base.empty()) base = f_.plataforma().process.programDir();
  const std::string nombre = base + "/Velmira/" + camera::Nombre_Carpeta(ahora);
  carpeta_ = nombre;
  for (int n = 2; f_.plataforma().files.taken(carpeta_); ++n) carpeta_ = nombre + "_" + std::to_string(n);
  std::optional<std::string> fallo = f_.plataforma().files.makeFolder(carpeta_);
  if (!fallo) {
    registro_ = std::make_unique<camera::Registro>(f_.plataforma().files, carpeta_);
    fallo = registro_->empezar({ahora, parametros, encontrada->model, serie, encontrada->port});
  }
  if (fallo) {
    Fallar({Cause::Disk, *fallo});
    return false;
  }
  return true;
}

bool Sesion_Camara::Disparar(double posicion) {
  // As in the other shots, a count that is no number ends the run before
  // the camera fires.
  std::optional<double> fotos = textToNumber(f_.Nfotos.text());
  if (!fotos) throw platform::Failure("Tipo no coincidente");
  const int numero = numero_ + 1;
  const int64_t hora = f_.plataforma().clock.wallMs();
  platform::Camera::Shot shot;
  for (int ocupada = 0;;) {
    camara_.startShot(carpeta_, camera::Nombre_Foto(numero));
    // The window repaints and holds the user's input meanwhile; a stop
    // acts at the event pass after the photo is safe.
    while (!camara_.finished()) f_.Esperar(kSondeoMs);
    shot = camara_.shot();
    if (!shot.files.empty()) break;
    if (shot.error.cause == Cause::Busy && ocupada < kReintentosOcupada) {
      ++ocupada;
      f_.Esperar(kEsperaOcupadaMs);
      continue;
    }
    if (shot.error.cause == Cause::Claimed &&
        f_.plataforma().messages.askRetry(
            {Causa_Camara(shot.error), f_.plataforma().process.title(), platform::Icon::Critical, {}}))
      continue;
    break;
  }
  if (!shot.files.empty()) {
    // The file is whole on the disk: now the photo counts.
    numero_ = numero;
    f_.Nfotos.setText(numberToText(*fotos + 1));
    if (std::optional<std::string> fallo = registro_->anotar({numero, posicion, hora, shot.files})) {
      Fallar({Cause::Disk, *fallo});
      return false;
    }
  } else if (shot.error.cause == Cause::None) {
    shot.error = {Cause::Other, "no ha entregado ninguna foto"};
  }
  if (shot.error.cause != Cause::None) {
    Fallar(shot.error);
    return false;
  }
  return true;
}

void Sesion_Camara::Terminar(const std::string& como) {
  if (registro_) registro_->terminar(como, f_.plataforma().clock.wallMs());
}

}  // namespace velmira::stack
