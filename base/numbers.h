// Number conversions shared by every handler.
//
// Two families exist, as the window has always had them:
//  - leadingNumber(): reads the number at the start of a text, "." as the
//    decimal point, stops at the first character that cannot continue the
//    number, and gives 0 for a text without one ("2,5" gives 2).
//  - the locale conversions (textToNumber, numberToText, toInt16, toInt32):
//    these use the comma as decimal separator.  The field filters only let
//    the comma through, so the conversions always use the comma, whatever the
//    locale of the machine: a point-decimal locale would otherwise read the
//    typed "0,0125" as 125.  Nothing here reads the C or C++ locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmira {

// The number at the start of `text` (leading blanks skipped), or 0.
double leadingNumber(std::string_view text);

// The whole text (blanks around it aside) as one number with a decimal
// comma and an optional exponent ("1E-05", "1,5e+3").  Empty text, a lone
// comma, two commas or anything else after the number: no number.
std::optional<double> textToNumber(std::string_view text);

// At most 15 significant digits, rounded to nearest, no trailing zeros,
// decimal comma, "0," before a fraction, exponent form ("1E-05", "1E+15")
// when the decimal exponent is below -4 or above 14.
std::string numberToText(double value);

// Nearest whole number, exact halves to the even neighbour; out of range (or
// not finite): no value.
std::optional<int16_t> toInt16(double value);
std::optional<int32_t> toInt32(double value);

// Round half to even, without range check.
double roundHalfEven(double value);

std::string intToText(long long value);

// Single precision round trip, as the window's Single variables hold values.
inline float toSingle(double value) { return static_cast<float>(value); }

}  // namespace velmira
