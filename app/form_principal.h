// Form_Principal: the main window.  It owns every control and every window
// variable for the whole life of the program, and every user action is one
// of its handlers.  The handlers are defined beside the subsystem they belong
// to (see the README for the map):
//
//   app/      Form_Load, Form_Resize, Verificar_Instancia, Salir_Click,
//             Form_Unload, Notas_Click
//   link/     BuscarPuerto_Click, ComboBoxCOM_Click, Command_CONECTAR_Click,
//             Mostrar_Fallo_Enlace
//   motion/   Mover_Click, Dar_Paso, Parar_Click, AbortarP_Click,
//             Limpia_Click, LimpiaF_Click, hscVelocidad_Change, CheckP3_Click,
//             CheckP4_Click, CheckM1_Click, CheckM2_Click
//   stack/    B_Procesar_Click, Disparo_Click, CheckEsp_Click, Pulsar_Tecla
//   params/   Verificar_Tecla*, the eleven *_KeyPress and *_GotFocus, C20_Click
//   config/   SalvarC_Click, CargarC_Click, SalvarC2_Click, CargarC2_Click
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/controls.h"
#include "base/variant.h"
#include "platform/platform.h"

namespace velmira {

class F_Notas;

// Thrown through the handlers when the program ends inside one of them (the
// exit button, a second instance); the front end ends the process.
struct ProgramEnded {};

class Form_Principal {
 public:
  explicit Form_Principal(platform::Platform& platform);
  ~Form_Principal();
  Form_Principal(const Form_Principal&) = delete;
  Form_Principal& operator=(const Form_Principal&) = delete;

  // ---- The window ------------------------------------------------------
  static constexpr int kClientWidth = 10455;   // twips (697 px)
  static constexpr int kClientHeight = 8100;   // twips (540 px)
  const std::string& caption() const { return caption_; }
  void setCaption(std::string c);
  int Left = 0, Top = 0;                       // outer position, twips
  int width() const { return width_; }         // outer size, twips
  int height() const { return height_; }
  // The view reports the outer size; a change raises Form_Resize.
  void setOuterSize(int widthTwips, int heightTwips);
  // Sets the outer size without raising Form_Resize (before the first show).
  void initOuterSize(int widthTwips, int heightTwips) { width_ = widthTwips; height_ = heightTwips; }
  bool shown() const { return shown_; }

  // ---- Controls (positions in twips: left, top, width, height) ---------
  ComboBox ComboBoxCOM;
  Button Command_CONECTAR, BuscarPuerto;
  TextBox Text_Mensajes;
  Button SalvarC, CargarC, SalvarC2, CargarC2;
  CheckBox CheckM2, CheckM1;
  TextBox Text3, Text6, Text7, Text8;
  Button C20;
  Label lblVelocidad;
  ScrollBar hscVelocidad;
  Shape LED;
  CheckBox CheckP4, CheckP3;
  TextBox Text9, Text2;
  Button Limpia, Mover, Parar;
  CheckBox Check1;
  TextBox Text4;
  Label Label17;
  ComboBox Disparo, Combo1;
  CheckBox CheckEsp;
  TextBox temEsp, Text5, Text10, Nfotos;
  Button LimpiaF, AbortarP, B_Procesar, Notas, Salir;
  Image Image1;
  Label Label3, EspL, DLabel, Label27;
  Label Label16, Label1, Label_Mensajes, Label14, Label8, Label10, Label7, Label9, Label11, Label12,
      Label29, Label18, Label24, Label25, Label23, Label22, Label15, Label13, Label26, Label5, Label6,
      Label21, Label4, Label2, Label19, Label20, Label28;
  std::vector<std::unique_ptr<Line>> Line1;  // elements 0 to 15
  platform::SerialPort& MSComm_Puerto_Serie;

  // ---- Window variables, in their declared order -----------------------
  Variant Desplazamiento_Foto;
  Variant Milimetros_Paso;
  Variant Pasos_Foto;
  Variant Desplazamiento_Total;
  float Num_Fotos = 0;
  float Parada = 0;
  Variant Ultima_Fase;  // "a" to "d", empty until a scan finds a port
  int32_t Fotos_Recomendadas = 0;

  // ---- Start-up, layout, leaving (app/) ---------------------------------
  void Form_Load();
  // Centres the window on the screen by its outer size: the first stage of
  // the load handler, done again by the view once the window system has
  // framed the window and its real outer size is known.
  void Centrar();
  void Form_Resize();
  bool Verificar_Instancia();
  void Salir_Click();
  // The title-bar close box: ends the whole program, leaving the
  // controller safe (Terminar_Programa).
  void Form_Unload();
  // The end from outside the window (a signal, the end of the session) and
  // by the close box: a shutter output held open is released at once, the
  // motor is switched off, the output drains and the port closes; nothing
  // is shown, and the program ends.
  void Terminar_Programa();
  void Notas_Click();
  // Runs the load handler and shows the window: the application's start.
  void start();

  // ---- Controller link (link/) ------------------------------------------
  void BuscarPuerto_Click();
  // The enumeration shared by the button and start-up: appends every port
  // found to ComboBoxCOM; returns the number of items of the list.
  int Buscar_Puertos();
  // No port found: empty, disabled port controls and `texto` in bold.
  void Mostrar_Sin_Puertos(const std::string& texto);
  void ComboBoxCOM_Click();
  void Command_CONECTAR_Click();
  // The failure block shared by the handlers that write to the port.
  void Mostrar_Fallo_Enlace(const platform::Failure& failure, bool indicador);
  // Writes one command to the port (throws platform::Failure).
  void Enviar(const std::string& command);

  // ---- Motion (motion/) --------------------------------------------------
  void Mover_Click();
  // One motor step: next phase letter, sent; the delay; position counted and
  // shown in Text2; pending events run.  `atras` is the direction code "x".
  void Dar_Paso(bool atras, double& posicion, int32_t retardoMs);
  void Parar_Click();
  void AbortarP_Click();
  void Limpia_Click();
  void LimpiaF_Click();
  void hscVelocidad_Change();
  void CheckP3_Click();
  void CheckP4_Click();
  void CheckM1_Click();
  void CheckM2_Click();

  // ---- Stack run and shutter (stack/) ------------------------------------
  void B_Procesar_Click();
  void Disparo_Click();
  // Hides the mirror group (its caption, delay, box and label), as the key
  // mode and a start-up without slot 1 do.
  void Ocultar_Grupo_Espejo();
  void CheckEsp_Click();
  void Pulsar_Tecla(int32_t& Tecla);

  // ---- Parameters (params/) ----------------------------------------------
  int Verificar_Tecla(int& Tecla_Presionada);
  int Verificar_Tecla1(int& Tecla_Presionada);
  int Verificar_Tecla2(int& Tecla_Presionada);
  void Text3_KeyPress(int& KeyAscii);
  void Text6_KeyPress(int& KeyAscii);
  void Text7_KeyPress(int& KeyAscii);
  void Text8_KeyPress(int& KeyAscii);
  void Text4_KeyPress(int& KeyAscii);
  void Text5_KeyPress(int& KeyAscii);
  void Text10_KeyPress(int& KeyAscii);
  void temEsp_KeyPress(int& KeyAscii);
  void Text9_KeyPress(int& KeyAscii);
  void Text2_KeyPress(int& KeyAscii);
  void Nfotos_KeyPress(int& KeyAscii);
  void Text3_GotFocus();
  void Text6_GotFocus();
  void Text7_GotFocus();
  void Text8_GotFocus();
  void Text4_GotFocus();
  void Text5_GotFocus();
  void Text10_GotFocus();
  void temEsp_GotFocus();
  void Text9_GotFocus();
  void Text2_GotFocus();
  void Nfotos_GotFocus();
  void C20_Click();

  // ---- Configuration (config/) -------------------------------------------
  void SalvarC_Click();
  void CargarC_Click();
  void SalvarC2_Click();
  void CargarC2_Click();
  // Stage 3 of the start-up: slot 1, or the mirror group hidden.
  void Cargar_Configuracion_Inicio();

  // ---- Shared services of the window -------------------------------------
  platform::Platform& plataforma() { return platform_; }
  // Information box: OK only, no icon, the application title.
  void MsgBox(const std::string& text);
  // The failure box: "Error!", critical icon, the executable's name.
  void MsgBoxError(const std::string& detail = {});
  void DoEvents();
  // Blocking wait of a millisecond value, made a signed 32-bit whole number
  // (halves to even); outside that range it is a failure of the handler.
  void Esperar(double ms);
  // The program's directory, a separator and `name`: where a slot is saved.
  std::string rutaPrograma(const std::string& name);
  // Where `name` is read from: the program's directory, or, when the file
  // is only there, the folder of the program's shipped files.
  std::string rutaLectura(const std::string& name);
  // A move or a stack run is executing (a second one is refused).
  bool En_Marcha = false;
  // The key path's caveat was shown (once per program run).
  bool Aviso_Tecla_Dado = false;
  // "r" went out and its "s" not yet: the controller holds the camera's
  // shutter output on.
  bool Obturador_Abierto = false;
  // Clock time of the last successful open of the port: an Arduino-class
  // board resets when the port opens, so motion waits until it listens.
  std::optional<int64_t> Hora_Apertura;

  // ---- Focus and typing --------------------------------------------------
  // Controls of the tab order, in order.
  const std::vector<Control*>& tabOrder() const { return tabOrder_; }
  Control* focused() const { return focused_; }
  // Gives `c` the focus (raises its focus handler when it changes).
  void SetFocus(Control& c);
  // The next control in tab order after `from` that is visible and enabled.
  Control* nextInTabOrder(const Control* from) const;
  // Queues one TAB keystroke: the focus moves on after the key handler
  // returns, unless the handler showed a message box.
  void queueTab() { tabQueued_ = true; }
  // A key typed into a field: runs its key-press handler, then the queued
  // TAB.  Returns the code the field receives (0: swallowed).
  int keyPress(TextBox& field, int code);

  // ---- Observers for a view ----------------------------------------------
  // Called on every change of a control's state.
  Observer onControlChanged;
  // Called when the logic moves the focus.
  std::function<void(Control&)> onFocusRequested;
  // Called when the title or the shown state of the window changes.
  std::function<void()> onWindowChanged;
  // Called when a move or stack run has ended, however it ended (En_Marcha
  // is false again).
  std::function<void()> onRunEnded;

  // The program ended inside a handler and the process did not end with it
  // (its end() throws ProgramEnded: tests, tools).  From then on no handler
  // runs, and a handler still running underneath goes no further than its
  // next wait or event pass.
  bool programEnded() const { return programEnded_; }
  // Marks the end; calls onProgramEnded the first time.
  void noteProgramEnded();
  std::function<void()> onProgramEnded;

  // Every control (for views and tests), in creation order.
  const std::vector<Control*>& controls() const { return controls_; }
  Control* control(const std::string& name) const;

  F_Notas& notas();

 private:
  void registerControls();
  void wireHandlers();
  void arrangeDesign();

  platform::Platform& platform_;
  std::string caption_ = "Form_Principal";
  int width_ = kClientWidth;
  int height_ = kClientHeight;
  bool shown_ = false;
  std::vector<Control*> controls_;
  std::vector<Control*> tabOrder_;
  Control* focused_ = nullptr;
  bool tabQueued_ = false;
  bool programEnded_ = false;
  std::unique_ptr<F_Notas> notas_;
};

}  // namespace velmira
