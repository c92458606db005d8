// Key presses and focus gain of the eleven numeric fields.
//
// Every key first goes through the field's filter; Enter then queues one TAB,
// which moves the focus to the next control in tab order once the handler
// has returned (a message box shown by the handler cancels it, so the focus
// stays where the handler put it).  The five stack fields recompute the
// derived values on Enter; the position field admits one leading minus.
// Text that reaches a field otherwise (pasted, set by the program, loaded
// from a slot) is not screened.
#include "base/cp1252.h"
#include "app/form_principal.h"
#include "params/derived.h"

namespace velmira {
namespace {

using Filtro = int (Form_Principal::*)(int&);

// The common steps; true when the key is Enter.
bool pasosComunes(Form_Principal& f, int& KeyAscii, Filtro filtro) {
  KeyAscii = (f.*filtro)(KeyAscii);
  if (KeyAscii != 13) return false;
  f.queueTab();
  return true;
}

// The whole text selected, so that typing replaces it.
void seleccionarTodo(TextBox& campo) { campo.setSelection(0, static_cast<int>(utf8Length(campo.text()))); }

}  // namespace

void Form_Principal::Text3_KeyPress(int& KeyAscii) {
  if (pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla1)) params::introText3(*this);
}

void Form_Principal::Text6_KeyPress(int& KeyAscii) {
  if (pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla)) params::introText6(*this);
}

void Form_Principal::Text7_KeyPress(int& KeyAscii) {
  if (pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla)) params::introText7(*this);
}

void Form_Principal::Text8_KeyPress(int& KeyAscii) {
  if (pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla)) params::introText8(*this);
}

void Form_Principal::Text4_KeyPress(int& KeyAscii) {
  if (pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla1)) params::introText4(*this);
}

void Form_Principal::Text5_KeyPress(int& KeyAscii) { pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla); }

void Form_Principal::Text10_KeyPress(int& KeyAscii) {
  pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla);
}

void Form_Principal::temEsp_KeyPress(int& KeyAscii) {
  pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla);
}

void Form_Principal::Text9_KeyPress(int& KeyAscii) { pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla1); }

void Form_Principal::Text2_KeyPress(int& KeyAscii) {
  pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla2);
  // One minus sign, and only as the first character.
  if (KeyAscii != '-') return;
  if (Text2.text().find('-') != std::string::npos || Text2.selStart() != 0) KeyAscii = 0;
}

void Form_Principal::Nfotos_KeyPress(int& KeyAscii) {
  pasosComunes(*this, KeyAscii, &Form_Principal::Verificar_Tecla1);
}

void Form_Principal::Text3_GotFocus() { seleccionarTodo(Text3); }
void Form_Principal::Text6_GotFocus() { seleccionarTodo(Text6); }
void Form_Principal::Text7_GotFocus() { seleccionarTodo(Text7); }
void Form_Principal::Text8_GotFocus() { seleccionarTodo(Text8); }
void Form_Principal::Text4_GotFocus() { seleccionarTodo(Text4); }
void Form_Principal::Text5_GotFocus() { seleccionarTodo(Text5); }
void Form_Principal::Text10_GotFocus() { seleccionarTodo(Text10); }
void Form_Principal::temEsp_GotFocus() { seleccionarTodo(temEsp); }
void Form_Principal::Text9_GotFocus() { seleccionarTodo(Text9); }
void Form_Principal::Text2_GotFocus() { seleccionarTodo(Text2); }
void Form_Principal::Nfotos_GotFocus() { seleccionarTodo(Nfotos); }

}  // namespace velmira
