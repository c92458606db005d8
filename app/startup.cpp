// Start-up, the background picture and leaving the program.
#include <exception>

#include "app/form_principal.h"
#include "notes/f_notas.h"

namespace velmira {

void Form_Principal::Centrar() {
  platform::ScreenSize screen = platform_.process.screen();
  Left = static_cast<int>(screen.widthTwips / 2.0 - width_ / 2.0);
  Top = static_cast<int>(screen.heightTwips / 2.0 - height_ / 2.0);
}

void Form_Principal::Form_Load() {
  // 1. Centre the window on the screen (outer size, halves in floating point).
  Centrar();

  // 2. Background picture.
  const std::string picture = rutaLectura("MiImagen.jpg");
  if (platform_.files.exists(picture)) {
    if (platform_.pictures.canLoad(picture)) {
      Image1.setStretch(true);
      Image1.setPicture(picture);
    } else {
      // A file of that name that holds no picture: no background, and say so.
      Label27.setVisible(true);
      MsgBox("La imagen de fondo MiImagen.jpg no se puede leer.");
    }
  } else {
    Label27.setVisible(true);
    MsgBox("No existe imagen de fondo");
  }

  // 3. Configuration slot 1.
  Cargar_Configuracion_Inicio();

  // 4. Single instance.
  if (Verificar_Instancia()) platform_.process.end();

  // 5. Port scan.
  if (Buscar_Puertos() == 0) {
    Mostrar_Sin_Puertos("ERROR \r\nNo se encontraron puertos COM.");
  } else {
    Ultima_Fase = Variant::text("d");
    Combo1.setListIndex(2);
  }
}

bool Form_Principal::Verificar_Instancia() {
  if (!platform_.instance.otherInstanceRunning()) return false;
  const std::string title = platform_.process.title();
  platform_.process.setTitle("No longer want this app running...");
  platform_.instance.activate(title);
  return true;
}

void Form_Principal::Form_Resize() {
  // The picture covers the window's outer size, frame and title bar
  // included, so it reaches past the client area at the right and bottom.
  Image1.setGeometry({0, 0, width_, height_});
}

void Form_Principal::Salir_Click() {
  Parada = 1;
  try {
    if (Command_CONECTAR.caption() == "DESCONECTAR") {
      // Left during a shot's hold: the shutter output is released first,
      // or it would stay on with the port closed.
      if (Obturador_Abierto) Enviar("s");
      Enviar("p");
      LED.setFillColor(kRed);
      Esperar(300);
      MSComm_Puerto_Serie.close();
    }
  } catch (const platform::Failure& failure) {
    Text_Mensajes.setText(failure.what());
    MsgBoxError(failure.detail());
  }
  platform_.process.end();
}

void Form_Principal::Form_Unload() {
  // The whole program ends with the main window, the notes window included;
  // a connected motor is not left energised.
  Terminar_Programa();
}

void Form_Principal::Terminar_Programa() {
  Parada = 1;
  // Whatever fails here, the program still ends: nobody is left to tell.
  if (MSComm_Puerto_Serie.isOpen()) {
    auto intentar = [](auto&& paso) {
      try {
        paso();
      } catch (const platform::Failure&) {
      }
    };
    if (Obturador_Abierto) intentar([&] { Enviar("s"); });
    intentar([&] { Enviar("p"); });
    LED.setFillColor(kRed);
    intentar([&] { MSComm_Puerto_Serie.close(); });  // waits for the output to drain, bounded
  }
  platform_.process.end();
}

void Form_Principal::Notas_Click() { notas().Show(); }

}  // namespace velmira
