#include "app/form_principal.h"

#include <algorithm>
#include <cmath>

#include "notes/f_notas.h"

namespace velmira {
namespace {

Font bold(double size = 8.25) { return Font{"MS Sans Serif", size, true}; }
Font regular(double size = 8.25) { return Font{"MS Sans Serif", size, false}; }

}  // namespace

Form_Principal::Form_Principal(platform::Platform& p)
    : ComboBoxCOM("ComboBoxCOM", {480, 600, 3735, 315}, "Seleccionar Puerto"),
      Command_CONECTAR("Command_CONECTAR", {480, 1200, 1455, 375}, "CONECTAR"),
      BuscarPuerto("BuscarPuerto", {2400, 1200, 1215, 375}, "Buscar Puerto"),
      Text_Mensajes("Text_Mensajes", {5880, 600, 4215, 615}, "", 0),
      SalvarC("SalvarC", {5880, 1440, 1935, 255}, "Salvar Configuración 1"),
      CargarC("CargarC", {8160, 1440, 1935, 255}, "Cargar Configuración 1"),
      SalvarC2("SalvarC2", {5880, 1800, 1935, 255}, "Salvar Configuración 2"),
      CargarC2("CargarC2", {8160, 1800, 1935, 255}, "Cargar Configuración 2"),
      CheckM2("CheckM2", {2400, 2640, 195, 195}, 1),
      CheckM1("CheckM1", {5040, 2640, 195, 195}, 0),
      Text3("Text3", {2400, 3120, 735, 285}, "0", 6),
      Text6("Text6", {5040, 3120, 735, 285}, "0", 7),
      Text7("Text7", {2400, 3600, 735, 285}, "0", 6),
      Text8("Text8", {5040, 3600, 735, 285}, "0", 6),
      C20("C20", {2400, 4080, 735, 255}, "20%"),
      lblVelocidad("lblVelocidad", {1680, 4680, 495, 255}, "1"),
      hscVelocidad("hscVelocidad", {2280, 4680, 1695, 255}, 1, 1000, 1),
      LED("LED", {4560, 4680, 615, 495}, kRed),
      CheckP4("CheckP4", {2880, 5760, 195, 195}, 1),
      CheckP3("CheckP3", {4680, 5760, 195, 195}, 0),
      Text9("Text9", {2400, 6120, 735, 285}, "0", 6),
      Text2("Text2", {4200, 6120, 735, 285}, "0", 7),
      Limpia("Limpia", {5160, 6120, 255, 255}, "x"),
      Mover("Mover", {1320, 6840, 1935, 495}, "Mover"),
      Parar("Parar", {3480, 6600, 2055, 855}, "Parar Movimiento"),
      Check1("Check1", {8520, 2880, 195, 195}, 1),
      Text4("Text4", {8040, 3240, 375, 285}, "25", 3),
      Label17("Label17", {9360, 3240, 480, 195}, ""),
      Disparo("Disparo", {8160, 3720, 1695, 315}, ""),
      Combo1("Combo1", {8160, 4200, 1695, 315}, ""),
      CheckEsp("CheckEsp", {8880, 4200, 195, 195}, 1),
      temEsp("temEsp", {9480, 4440, 375, 285}, "0", 1),
      Text5("Text5", {8160, 5160, 375, 285}, "1", 2),
      Text10("Text10", {9000, 5160, 375, 285}, "4", 2),
      Nfotos("Nfotos", {9240, 5880, 375, 285}, "0", 3),
      LimpiaF("LimpiaF", {9840, 5880, 255, 255}, "x"),
      AbortarP("AbortarP", {6600, 6360, 1695, 855}, "Abortar Proceso"),
      B_Procesar("B_Procesar", {8640, 6360, 1455, 615}, "&Procesar"),
      Notas("Notas", {6600, 7440, 1695, 375}, "&Notas "),
      Salir("Salir", {8640, 7200, 1455, 615}, "Salir"),
      Image1("Image1", {0, 0, kClientWidth, kClientHeight}),
      Label3("Label3", {6600, 4320, 855, 255}, "Tecla"),
      EspL("EspL", {6600, 4200, 1815, 255}, "Espejo Levantado"),
      DLabel("DLabel", {6600, 4560, 2775, 255}, "Tiempo Espejo/disparo"),
      Label27("Label27", {6120, 0, 4215, 375}, "Velmira v.101 - carril macro"),
      Label16("Label16", {480, 240, 1935, 255}, "Puerto COM"),
      Label1("Label1", {4080, 1320, 975, 255}, "Versión 101"),
      Label_Mensajes("Label_Mensajes", {4800, 600, 1935, 255}, "Mensajes"),
      Label14("Label14", {360, 2160, 2895, 375}, "Movimiento fotografico"),
      Label8("Label8", {600, 2640, 1335, 255}, "Hacia Adelante"),
      Label10("Label10", {3360, 2640, 1095, 255}, "Hacia Atras"),
      Label7("Label7", {600, 3240, 1215, 255}, "Nº Pasos"),
      Label9("Label9", {3360, 3240, 1815, 255}, "Milimetros por Paso"),
      Label11("Label11", {600, 3720, 1935, 255}, "Desplazamiento (mm)"),
      Label12("Label12", {3360, 3720, 1575, 255}, "Despl. Total (mm)"),
      Label29("Label29", {600, 4200, 1575, 255}, "Solapamiento"),
      Label18("Label18", {600, 4680, 1095, 255}, "Velocidad :"),
      Label24("Label24", {4320, 4320, 1335, 255}, "Motor ON/OFF"),
      Label25("Label25", {960, 5160, 1455, 375}, "Posicionar"),
      Label23("Label23", {1200, 5760, 1335, 255}, "Hacia Adelante"),
      Label22("Label22", {3360, 5760, 1215, 255}, "Hacia Atras"),
      Label15("Label15", {1200, 6240, 1215, 255}, "Nº Pasos"),
      Label13("Label13", {3360, 6240, 735, 255}, "Posición"),
      Label26("Label26", {6480, 2280, 1455, 375}, "Fotografia"),
      Label5("Label5", {6960, 2760, 1575, 255}, "Tomar Foto"),
      Label6("Label6", {6600, 3240, 1455, 255}, "Nº Fotogramas"),
      Label21("Label21", {8520, 3240, 735, 255}, "Nº Rec."),
      Label4("Label4", {6600, 3840, 1455, 255}, "Modo de Disparo"),
      Label2("Label2", {6600, 5160, 1215, 255}, "Retardos (S)"),
      Label19("Label19", {8160, 4920, 495, 255}, "T.P.F."),
      Label20("Label20", {9000, 4920, 495, 255}, "T.A.F."),
      Label28("Label28", {7320, 5880, 1815, 255}, "Fotos realizadas"),
      MSComm_Puerto_Serie(p.serial),
      platform_(p) {
  arrangeDesign();
  registerControls();
  wireHandlers();
}

Form_Principal::~Form_Principal() = default;

void Form_Principal::arrangeDesign() {
  // Tool tips.
  ComboBoxCOM.setToolTip("Puerto serial virtual-");
  Command_CONECTAR.setToolTip("Conectar/desconectar puerto.");
  Text_Mensajes.setToolTip("Mensajes del proceso.");
  for (Button* b : {&SalvarC, &SalvarC2})
    b->setToolTip("Salva Milimetros por paso, TPF, TAF, velocidad, Modo de disparo, Tecla o Retardo.");
  for (Button* b : {&CargarC, &CargarC2}) b->setToolTip("Carga la ultima configuración salvada.");
  Text3.setToolTip("Numero de pasos a dar en cada fotograma.");
  Text6.setToolTip("Especifico de cada motor, cantidad de movimiento en cada paso.");
  Text7.setToolTip("Profundidad de campo minima, Multiplicación del nº de pasos y del movimiento por paso.");
  Text8.setToolTip(
      "Multiplicación del nº de fotogramas y del desplazamiento de cada uno, da el desplazamiento total de "
      "todos los disparos.");
  C20.setToolTip("Cambia el valor del desplazamiento restando el 20% de solapamiento entre fotos.");
  lblVelocidad.setToolTip("Velocidad del motor.");
  Text9.setToolTip("Nº de pasos para situar el motor.");
  Text2.setToolTip("Posición teorica (referencia).");
  Limpia.setToolTip("Pone a 0 la posición.");
  Mover.setToolTip("Mover el motor segun Nº de pasos dados.");
  Parar.setToolTip("Parar movimiento de situación.");
  Text4.setToolTip("Nº de fotos a sacar.");
  Label17.setToolTip("Nº de fotos recomendadas.");
  Disparo.setToolTip("Elección del modo de disparo, pulsación de tecla o a traves de Arduino (salida 13).");
  Combo1.setToolTip("Tecla enviada para sacar las fotos.");
  temEsp.setToolTip("Temporización entre levantamiento de espejo y foto.");
  Text5.setToolTip("Tiempo Posterior a Foto");
  Text10.setToolTip("Tiempo Anterior a Foto.");
  Nfotos.setToolTip("Fotos Realizadas en la secuencia.");
  LimpiaF.setToolTip("Pone a 0 la posición.");
  AbortarP.setToolTip("Parar Proceso total.");
  B_Procesar.setToolTip("Ejecutar el proceso total, pausa-foto-pausa-movimiento-pausa-foto...");
  Notas.setToolTip("Ayuda.");
  Salir.setToolTip("Salir de la Aplicación.");

  // Coloured button faces.
  for (Button* b : {&Command_CONECTAR, &BuscarPuerto, &SalvarC, &CargarC, &SalvarC2, &CargarC2, &C20})
    b->setBackColor(rgb(192, 255, 192));
  for (Button* b : {&Limpia, &LimpiaF}) b->setBackColor(rgb(255, 255, 0));
  for (Button* b : {&Mover, &B_Procesar}) b->setBackColor(rgb(128, 255, 128));
  for (Button* b : {&Parar, &AbortarP}) b->setBackColor(rgb(255, 0, 0));
  Notas.setBackColor(rgb(255, 128, 0));
  Salir.setBackColor(rgb(128, 128, 255));

  // Fonts of the functional controls.
  Mover.setFont(bold(12));
  Parar.setFont(regular(13.5));
  AbortarP.setFont(regular(13.5));
  B_Procesar.setFont(bold(12));
  Notas.setFont(regular(12));
  Salir.setFont(bold(12));
  for (Label* l : {&Label17, &Label3, &EspL, &DLabel}) l->setFont(bold());
  Label17.setForeColor(rgb(0, 0, 192));
  Label27.setFont(regular(12));
  Label27.setTransparent(false);
  Label27.setVisible(false);

  // Static captions: bold 8.25 pt unless given otherwise.
  for (Label* l : {&Label8, &Label10, &Label7, &Label9, &Label11, &Label12, &Label29, &Label18, &Label24,
                   &Label23, &Label22, &Label15, &Label13, &Label6, &Label21, &Label4, &Label2, &Label19,
                   &Label20})
    l->setFont(bold());
  for (Label* l : {&Label8, &Label10, &Label7, &Label9}) l->setForeColor(rgb(0, 0, 0));
  for (Label* l : {&Label16, &Label_Mensajes, &Label28}) l->setFont(bold(9.75));
  for (Label* l : {&Label14, &Label25, &Label26, &Label5}) l->setFont(bold(12));
  Label1.setFont(regular());

  Text_Mensajes.setMultiLine(true);

  // Lists.
  Disparo.addItem("Programa(Tecla)");
  Disparo.addItem("Disparador");
  Disparo.addItem("Cámara USB");
  for (const char* k : {"F6", "F7", "F8", "F9", "F10", "F11", "F12"}) Combo1.addItem(k);

  // The framing lines: outer frame (0 left, 2 top, 4 right, 3 bottom; two
  // pixels wide), the positioning frame, the photography frame, each with its
  // top edge open where the heading stands, and the box around Label17.
  struct L { int x1, y1, x2, y2, w; };
  const L lines[16] = {
      {240, 2400, 240, 7920, 2},     {840, 5400, 840, 7680, 1},     {3360, 2400, 6120, 2400, 2},
      {240, 7920, 6120, 7920, 2},    {6120, 2400, 6120, 7920, 2},   {2280, 5400, 5760, 5400, 1},
      {5760, 5400, 5760, 7680, 1},   {840, 7680, 5760, 7680, 1},    {6480, 2520, 6480, 5640, 1},
      {7800, 2520, 10080, 2520, 1},  {10080, 2520, 10080, 5640, 1}, {6480, 5640, 10080, 5640, 1},
      {9240, 3120, 9840, 3120, 1},   {9840, 3120, 9840, 3480, 1},   {9240, 3480, 9840, 3480, 1},
      {9240, 3120, 9240, 3480, 1}};
  for (int i = 0; i < 16; ++i) {
    const L& l = lines[i];
    Line1.push_back(std::make_unique<Line>("Line1(" + std::to_string(i) + ")", l.x1, l.y1, l.x2, l.y2, l.w));
  }
}

void Form_Principal::registerControls() {
  controls_ = {&Image1,       &ComboBoxCOM, &Command_CONECTAR, &BuscarPuerto, &Text_Mensajes, &SalvarC,
               &CargarC,      &SalvarC2,    &CargarC2,         &CheckM2,      &CheckM1,       &Text3,
               &Text6,        &Text7,       &Text8,            &C20,          &lblVelocidad,  &hscVelocidad,
               &LED,          &CheckP4,     &CheckP3,          &Text9,        &Text2,         &Limpia,
               &Mover,        &Parar,       &Check1,           &Text4,        &Label17,       &Disparo,
               &Combo1,       &CheckEsp,    &temEsp,           &Text5,        &Text10,        &Nfotos,
               &LimpiaF,      &AbortarP,    &B_Procesar,       &Notas,        &Salir,         &Label3,
               &EspL,         &DLabel,      &Label27,          &Label16,      &Label1,        &Label_Mensajes,
               &Label14,      &Label8,      &Label10,          &Label7,       &Label9,        &Label11,
               &Label12,      &Label29,     &Label18,          &Label24,      &Label25,       &Label23,
               &Label22,      &Label15,     &Label13,          &Label26,      &Label5,        &Label6,
               &Label21,      &Label4,      &Label2,           &Label19,      &Label20,       &Label28};
  for (auto& l : Line1) controls_.push_back(l.get());
  for (Control* c : controls_) c->setObserver(&onControlChanged);

  tabOrder_ = {&ComboBoxCOM, &Command_CONECTAR, &CheckM2, &CheckM1,  &Text3,         &Text6,   &Text7,
               &C20,         &Text8,            &hscVelocidad, &CheckP4, &CheckP3,   &Text9,   &Text2,
               &Limpia,      &Mover,            &Parar,   &Check1,   &Text4,         &Disparo, &Combo1,
               &temEsp,      &Text5,            &Text10,  &B_Procesar, &AbortarP,    &Notas,   &Salir,
               &Text_Mensajes, &SalvarC,        &CargarC, &BuscarPuerto, &Nfotos,    &LimpiaF, &SalvarC2,
               &CargarC2,    &CheckEsp};
}

void Form_Principal::wireHandlers() {
  ComboBoxCOM.onClick = [this] { ComboBoxCOM_Click(); };
  Command_CONECTAR.onClick = [this] { Command_CONECTAR_Click(); };
  BuscarPuerto.onClick = [this] { BuscarPuerto_Click(); };
  SalvarC.onClick = [this] { SalvarC_Click(); };
  CargarC.onClick = [this] { CargarC_Click(); };
  SalvarC2.onClick = [this] { SalvarC2_Click(); };
  CargarC2.onClick = [this] { CargarC2_Click(); };
  CheckM2.onClick = [this] { CheckM2_Click(); };
  CheckM1.onClick = [this] { CheckM1_Click(); };
  CheckP4.onClick = [this] { CheckP4_Click(); };
  CheckP3.onClick = [this] { CheckP3_Click(); };
  C20.onClick = [this] { C20_Click(); };
  hscVelocidad.onChange = [this] { hscVelocidad_Change(); };
  Limpia.onClick = [this] { Limpia_Click(); };
  Mover.onClick = [this] { Mover_Click(); };
  Parar.onClick = [this] { Parar_Click(); };
  Disparo.onClick = [this] { Disparo_Click(); };
  CheckEsp.onClick = [this] { CheckEsp_Click(); };
  LimpiaF.onClick = [this] { LimpiaF_Click(); };
  AbortarP.onClick = [this] { AbortarP_Click(); };
  B_Procesar.onClick = [this] { B_Procesar_Click(); };
  Notas.onClick = [this] { Notas_Click(); };
  Salir.onClick = [this] { Salir_Click(); };

  struct FieldHandlers {
    TextBox* field;
    void (Form_Principal::*keyPress)(int&);
    void (Form_Principal::*gotFocus)();
  };
  const FieldHandlers fields[] = {
      {&Text3, &Form_Principal::Text3_KeyPress, &Form_Principal::Text3_GotFocus},
      {&Text6, &Form_Principal::Text6_KeyPress, &Form_Principal::Text6_GotFocus},
      {&Text7, &Form_Principal::Text7_KeyPress, &Form_Principal::Text7_GotFocus},
      {&Text8, &Form_Principal::Text8_KeyPress, &Form_Principal::Text8_GotFocus},
      {&Text4, &Form_Principal::Text4_KeyPress, &Form_Principal::Text4_GotFocus},
      {&Text5, &Form_Principal::Text5_KeyPress, &Form_Principal::Text5_GotFocus},
      {&Text10, &Form_Principal::Text10_KeyPress, &Form_Principal::Text10_GotFocus},
      {&temEsp, &Form_Principal::temEsp_KeyPress, &Form_Principal::temEsp_GotFocus},
      {&Text9, &Form_Principal::Text9_KeyPress, &Form_Principal::Text9_GotFocus},
      {&Text2, &Form_Principal::Text2_KeyPress, &Form_Principal::Text2_GotFocus},
      {&Nfotos, &Form_Principal::Nfotos_KeyPress, &Form_Principal::Nfotos_GotFocus},
  };
  for (const FieldHandlers& f : fields) {
    auto keyPress = f.keyPress;
    auto gotFocus = f.gotFocus;
    f.field->onKeyPress = [this, keyPress](int& code) { (this->*keyPress)(code); };
    f.field->onGotFocus = [this, gotFocus] { (this->*gotFocus)(); };
  }
}

void Form_Principal::setCaption(std::string c) {
  caption_ = std::move(c);
  if (onWindowChanged) onWindowChanged();
}

void Form_Principal::setOuterSize(int w, int h) {
  if (w == width_ && h == height_ && shown_) return;
  width_ = w;
  height_ = h;
  Form_Resize();
}

void Form_Principal::start() {
  Form_Load();
  setCaption("Velmira v.101");
  shown_ = true;
  if (onWindowChanged) onWindowChanged();
  // Showing the window raises the first resize.
  Form_Resize();
}

Control* Form_Principal::control(const std::string& name) const {
  for (Control* c : controls_)
    if (c->name() == name) return c;
  return nullptr;
}

F_Notas& Form_Principal::notas() {
  if (!notas_) notas_ = std::make_unique<F_Notas>(platform_);
  return *notas_;
}

// ---- Shared services --------------------------------------------------------

void Form_Principal::MsgBox(const std::string& text) {
  tabQueued_ = false;  // a queued TAB goes to the box, not to the next field
  platform_.messages.show({text, platform_.process.title(), platform::Icon::None, {}});
}

void Form_Principal::MsgBoxError(const std::string& detail) {
  tabQueued_ = false;
  platform_.messages.show({"Error!", platform_.process.exeName(), platform::Icon::Critical, detail});
}

void Form_Principal::DoEvents() {
  platform_.events.doEvents();
  // A handler of this pass ended the program: this one goes no further.
  if (programEnded_) throw ProgramEnded{};
}

void Form_Principal::Esperar(double ms) {
  std::optional<int32_t> whole = toInt32(ms);
  if (!whole) throw platform::Failure("Desbordamiento");
  platform_.clock.sleepMs(*whole);
  if (programEnded_) throw ProgramEnded{};
}

void Form_Principal::noteProgramEnded() {
  if (programEnded_) return;
  programEnded_ = true;
  if (onProgramEnded) onProgramEnded();
}

std::string Form_Principal::rutaPrograma(const std::string& name) {
  return platform_.process.programDir() + "/" + name;
}

std::string Form_Principal::rutaLectura(const std::string& name) {
  const std::string propia = rutaPrograma(name);
  const std::string compartida = platform_.process.shippedDir();
  if (compartida.empty() || platform_.files.exists(propia)) return propia;
  const std::string alternativa = compartida + "/" + name;
  return platform_.files.exists(alternativa) ? alternativa : propia;
}

// ---- Focus and typing ------------------------------------------------------

void Form_Principal::SetFocus(Control& c) {
  if (focused_ == &c) return;
  focused_ = &c;
  if (onFocusRequested) onFocusRequested(c);
  if (c.kind() == Kind::TextBox) {
    auto& field = static_cast<TextBox&>(c);
    if (field.onGotFocus) field.onGotFocus();
  }
}

Control* Form_Principal::nextInTabOrder(const Control* from) const {
  auto it = std::find(tabOrder_.begin(), tabOrder_.end(), from);
  size_t start = it == tabOrder_.end() ? tabOrder_.size() - 1 : static_cast<size_t>(it - tabOrder_.begin());
  for (size_t k = 1; k <= tabOrder_.size(); ++k) {
    Control* c = tabOrder_[(start + k) % tabOrder_.size()];
    if (c->visible() && c->enabled()) return c;
  }
  return nullptr;
}

int Form_Principal::keyPress(TextBox& field, int code) {
  tabQueued_ = false;
  if (field.onKeyPress) field.onKeyPress(code);
  if (tabQueued_) {
    tabQueued_ = false;
    // The TAB is processed after the handler returned: from the control
    // that has the focus then.
    if (Control* next = nextInTabOrder(focused_ ? focused_ : &field)) SetFocus(*next);
  }
  return code;
}

}  // namespace velmira
