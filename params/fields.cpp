#include "app/form_principal.h"

namespace velmira {

void Form_Principal::Text3_KeyPress(int&) {}
void Form_Principal::Text3_GotFocus() {}
void Form_Principal::Text6_KeyPress(int&) {}
void Form_Principal::Text6_GotFocus() {}
void Form_Principal::Text7_KeyPress(int&) {}
void Form_Principal::Text7_GotFocus() {}
void Form_Principal::Text8_KeyPress(int&) {}
void Form_Principal::Text8_GotFocus() {}
void Form_Principal::Text4_KeyPress(int&) {}
void Form_Principal::Text4_GotFocus() {}
void Form_Principal::Text5_KeyPress(int&) {}
void Form_Principal::Text5_GotFocus() {}
void Form_Principal::Text10_KeyPress(int&) {}
void Form_Principal::Text10_GotFocus() {}
void Form_Principal::temEsp_KeyPress(int&) {}
void Form_Principal::temEsp_GotFocus() {}
void Form_Principal::Text9_KeyPress(int&) {}
void Form_Principal::Text9_GotFocus() {}
void Form_Principal::Text2_KeyPress(int&) {}
void Form_Principal::Text2_GotFocus() {}
void Form_Principal::Nfotos_KeyPress(int&) {}
void Form_Principal::Nfotos_GotFocus() {}

}  // namespace velmira
