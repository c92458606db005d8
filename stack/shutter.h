// The three ways the stack run fires the camera at a frame's photo point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/form_principal.h"

namespace velmira::stack {

// What the run fixes for its shots when it starts.
struct Ajustes_Disparo {
  std::optional<std::string> tecla;  // "F6".."F12"; none without a selection
  float retardoEspejoMs = 0;         // the mirror delay, single precision
};

// Key table: Combo1's list index to the key name, and the name to the
// virtual-key code.  Any other index or name gives nothing.
std::optional<std::string> Nombre_Tecla(int indice);
std::optional<int32_t> Codigo_Tecla(const std::string& nombre);

// Takes the photo of one frame with the shot the window's state chooses.
// False when a key shot could not be taken (the run was stopped).
bool Tomar_Foto(Form_Principal& f, const Ajustes_Disparo& ajustes);

// A run starts: a key shot's path asks the desktop for its permission now
// (again, after a refusal or a lost session), not at the first frame.
void Preparar_Disparo(Form_Principal& f);

// How long the shot the window's state chooses holds the run, in ms: the
// controller's actuations and the mirror delay; a key shot takes no time.
double Duracion_Disparo(Form_Principal& f, const Ajustes_Disparo& ajustes);

}  // namespace velmira::stack
