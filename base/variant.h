// The dynamically typed value of the window variables Desplazamiento_Foto,
// Milimetros_Paso, Pasos_Foto and Desplazamiento_Total: empty, a text, or a
// double.  Assigning a field stores its text; arithmetic converts each
// operand (a text by the comma conversion, empty as 0).
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "base/numbers.h"

namespace velmira {

class Variant {
 public:
  Variant() = default;
  static Variant text(std::string t) { Variant v; v.value_ = std::move(t); return v; }
  static Variant number(double d) { Variant v; v.value_ = d; return v; }

  bool isEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool isNumber() const { return std::holds_alternative<double>(value_); }

  // The value as an operand: empty is 0, a text must read as a number.
  std::optional<double> toNumber() const {
    if (isEmpty()) return 0.0;
    if (isNumber()) return std::get<double>(value_);
    return textToNumber(std::get<std::string>(value_));
  }

  // The value as a field shows it: a text unchanged, a number by numberToText.
  std::string toText() const {
    if (isEmpty()) return "";
    if (isNumber()) return numberToText(std::get<double>(value_));
    return std::get<std::string>(value_);
  }

  bool operator==(const Variant&) const = default;

 private:
  std::variant<std::monostate, std::string, double> value_;
};

}  // namespace velmira
