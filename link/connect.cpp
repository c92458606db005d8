// Connecting and disconnecting, and the failure block shared by every
// handler that writes to the port.
#include "app/form_principal.h"

namespace velmira {

void Form_Principal::Enviar(const std::string& command) {
  MSComm_Puerto_Serie.write(command);
  if (command == "r") Obturador_Abierto = true;
  if (command == "s") Obturador_Abierto = false;
}

void Form_Principal::Mostrar_Fallo_Enlace(const platform::Failure& failure, bool indicador) {
  // The port is left as it is: after a failure on an open port the window
  // reads "CONECTAR" while the port is still open, and the next click of
  // the connect button closes it.
  Command_CONECTAR.setCaption("CONECTAR");
  ComboBoxCOM.setEnabled(true);
  Text_Mensajes.setText("Desconectado");
  if (indicador) LED.setFillColor(kRed);
  MsgBoxError(failure.detail());
}

void Form_Principal::ComboBoxCOM_Click() {
  // The number of an open port cannot change: a selection made while the
  // port is open (after a link failure) is kept and applied by the next
  // connect, which reads the selected item again.
  if (MSComm_Puerto_Serie.isOpen()) return;
  int index = ComboBoxCOM.listIndex();
  if (index < 0) return;
  MSComm_Puerto_Serie.setPortNumber(static_cast<int16_t>(ComboBoxCOM.itemData(index)));
}

void Form_Principal::Command_CONECTAR_Click() {
  try {
    if (!MSComm_Puerto_Serie.isOpen()) {
      int index = ComboBoxCOM.listIndex();
      if (index < 0) throw platform::Failure("Valor de propiedad no válido", "No hay ningún puerto seleccionado.");
      MSComm_Puerto_Serie.setPortNumber(static_cast<int16_t>(ComboBoxCOM.itemData(index)));
      MSComm_Puerto_Serie.open();
      Hora_Apertura = platform_.clock.nowMs();
      Obturador_Abierto = false;
      MSComm_Puerto_Serie.setSettings("9600,N,8,1");
      Command_CONECTAR.setCaption("DESCONECTAR");
      ComboBoxCOM.setEnabled(false);
      BuscarPuerto.setEnabled(false);
      Text_Mensajes.setText("Conectado");
      Parada = 1;
      Enviar("p");
      // Key shots ahead: a key path that needs permission asks now.
      if (Disparo.listIndex() != 1) platform_.keys.prepare();
    } else {
      Parada = 1;
      try {
        // Pressed during a shot's hold: the shutter output is released
        // first, or it would stay on until the controller's own guard.
        if (Obturador_Abierto) Enviar("s");
        Enviar("p");
      } catch (const platform::Failure&) {
        // The device is gone (an unplugged adapter): its motor can no longer
        // be switched off, but the port must still close, or every later
        // click would try this disconnect again and the window could never
        // connect to the board once it is plugged back in.
        try {
          MSComm_Puerto_Serie.close();
        } catch (const platform::Failure&) {
        }
        throw;
      }
      LED.setFillColor(kRed);
      Esperar(300);
      MSComm_Puerto_Serie.close();
      Command_CONECTAR.setCaption("CONECTAR");
      ComboBoxCOM.setEnabled(true);
      Text_Mensajes.setText("Desconectado");
    }
  } catch (const platform::Failure& failure) {
    Mostrar_Fallo_Enlace(failure, false);
  }
}

}  // namespace velmira
