#include "params/derived.h"

#include <cfloat>
#include <cmath>

#include "base/numbers.h"

namespace velmira::params {
namespace {

Valor finito(double x) { return std::isfinite(x) ? Valor(x) : std::nullopt; }

// Assigns a computed value to its variable and shows it in its field.
void mostrar(Variant& variable, TextBox& campo, double x) {
  variable = Variant::number(x);
  campo.setText(numberToText(x));
}

// Fotos_Recomendadas := the quotient rounded (halves to even); Label17 shows it.
void recomendar(Form_Principal& f, Valor q) {
  std::optional<int32_t> fotos = q ? toInt32(*q) : std::nullopt;
  if (!fotos) return;
  f.Fotos_Recomendadas = *fotos;
  f.Label17.setCaption(intToText(*fotos));
}

// Pasos_Foto := Text3; Milimetros_Paso := Text6; Desplazamiento_Foto :=
// their product, shown in Text7.  Nothing when the product cannot be made.
Valor calcularDesplazamiento(Form_Principal& f) {
  f.Pasos_Foto = Variant::text(f.Text3.text());
  f.Milimetros_Paso = Variant::text(f.Text6.text());
  Valor foto = producto(valor(f.Pasos_Foto), valor(f.Milimetros_Paso));
  if (foto) mostrar(f.Desplazamiento_Foto, f.Text7, *foto);
  return foto;
}

}  // namespace

bool dado(const TextBox& campo) { return !campo.text().empty() && campo.text() != "0"; }

Valor valor(const Variant& v) {
  Valor x = v.toNumber();
  return x ? finito(*x) : std::nullopt;
}

Valor producto(Valor a, Valor b) { return a && b ? finito(*a * *b) : std::nullopt; }

Valor cociente(Valor a, Valor b) { return a && b && *b != 0 ? finito(*a / *b) : std::nullopt; }

Valor diferencia(Valor a, Valor b) { return a && b ? finito(*a - *b) : std::nullopt; }

Valor leerNumFotos(Form_Principal& f) {
  std::optional<double> x = textToNumber(f.Text4.text());
  if (!x || std::fabs(*x) > FLT_MAX) return std::nullopt;
  f.Num_Fotos = toSingle(*x);
  return static_cast<double>(f.Num_Fotos);
}

Valor desplazamientoAnterior(const Form_Principal& f) {
  if (f.Desplazamiento_Foto.isEmpty()) return std::nullopt;
  return valor(f.Desplazamiento_Foto);
}

void recalcularTotal(Form_Principal& f, Valor foto, Valor fotos) {
  Valor total = producto(foto, fotos);
  if (!total) return;
  mostrar(f.Desplazamiento_Total, f.Text8, *total);
  recomendar(f, cociente(total, foto));
}

void introText3(Form_Principal& f) {
  if (!dado(f.Text3)) {
    f.MsgBox("Falta Nº pasos");
    f.SetFocus(f.Text3);
    return;
  }
  Valor foto;
  if (dado(f.Text6)) {
    foto = calcularDesplazamiento(f);
  } else {
    f.MsgBox("Falta milimetros por paso");
    f.SetFocus(f.Text6);
    foto = desplazamientoAnterior(f);
  }
  Valor fotos = leerNumFotos(f);
  recalcularTotal(f, foto, fotos);
}

void introText6(Form_Principal& f) {
  if (!dado(f.Text6)) {
    f.MsgBox("Falta milimetros por paso");
    f.SetFocus(f.Text6);
    return;
  }
  Valor foto;
  if (dado(f.Text3)) {
    foto = calcularDesplazamiento(f);
  } else {
    f.MsgBox("Falta Nº de pasos");
    f.SetFocus(f.Text3);
    foto = desplazamientoAnterior(f);
  }
  Valor fotos = leerNumFotos(f);
  recalcularTotal(f, foto, fotos);
}

void introText7(Form_Principal& f) {
  if (!dado(f.Text6)) {
    f.MsgBox("Falta milimetros por paso");
    f.SetFocus(f.Text6);
    return;
  }
  Valor foto, fotos;
  if (dado(f.Text7)) {
    f.Desplazamiento_Foto = Variant::text(f.Text7.text());
    f.Milimetros_Paso = Variant::text(f.Text6.text());
    fotos = leerNumFotos(f);
    foto = valor(f.Desplazamiento_Foto);
    // Unrounded: a fractional number of steps is shown as it is.
    Valor pasos = cociente(foto, valor(f.Milimetros_Paso));
    if (pasos) mostrar(f.Pasos_Foto, f.Text3, *pasos);
  } else {
    f.MsgBox("Falta Desplazamiento (mm)");
    f.SetFocus(f.Text7);
    foto = desplazamientoAnterior(f);
    fotos = static_cast<double>(f.Num_Fotos);
  }
  recalcularTotal(f, foto, fotos);
}

void introText8(Form_Principal& f) {
  // Two checks, each whatever the other found.  Text8 itself is written by
  // nobody here: only Label17 changes.
  if (dado(f.Text7)) {
    f.Desplazamiento_Total = Variant::text(f.Text8.text());
    f.Desplazamiento_Foto = Variant::text(f.Text7.text());
    recomendar(f, cociente(valor(f.Desplazamiento_Total), valor(f.Desplazamiento_Foto)));
  } else {
    f.MsgBox("Faltan datos");
  }
  if (dado(f.Text6)) {
    f.Desplazamiento_Foto = Variant::text(f.Text7.text());
    f.Milimetros_Paso = Variant::text(f.Text6.text());
  } else {
    f.MsgBox("Falta milimetros por paso");
    f.SetFocus(f.Text6);
  }
}

void introText4(Form_Principal& f) {
  // Here only the empty text is missing: "0" counts as present.
  if (f.Text3.text().empty() || f.Text6.text().empty()) {
    f.MsgBox("Faltan datos");
    return;
  }
  f.Pasos_Foto = Variant::text(f.Text3.text());
  f.Milimetros_Paso = Variant::text(f.Text6.text());
  Valor fotos = leerNumFotos(f);
  Valor foto = producto(valor(f.Pasos_Foto), valor(f.Milimetros_Paso));
  Valor total = producto(foto, fotos);
  if (foto) f.Desplazamiento_Foto = Variant::number(*foto);
  if (total) f.Desplazamiento_Total = Variant::number(*total);
  // Label17 and Fotos_Recomendadas are left as they are.
  if (foto) f.Text7.setText(numberToText(*foto));
  if (total) f.Text8.setText(numberToText(*total));
}

}  // namespace velmira::params
