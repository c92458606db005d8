#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace velmira {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isExponentLetter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

// Parses `s` (already in C syntax, point as separator) with from_chars,
// which never looks at the process locale.
std::optional<double> parseC(const std::string& s) {
  double value = 0;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (!s.empty() && s[0] == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Appends an exponent ("e-5") starting at s[i] when one follows; returns the
// index after it, or i when the letters there do not form an exponent.
size_t scanExponent(std::string_view s, size_t i, std::string& out) {
  if (i >= s.size() || !isExponentLetter(s[i])) return i;
  size_t j = i + 1;
  std::string exp = "e";
  if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp += s[j++];
  if (j >= s.size() || !isDigit(s[j])) return i;
  while (j < s.size() && isDigit(s[j])) exp += s[j++];
  out += exp;
  return j;
}

// Copies to `out`, in C syntax, what stands from s[i] on: a sign, digits
// and, after `separator`, more digits.  Returns whether a digit was read.
bool scanMantissa(std::string_view s, size_t& i, char separator, std::string& out) {
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) out += s[i++];
  bool digits = false;
  while (i < s.size() && isDigit(s[i])) { out += s[i++]; digits = true; }
  if (i < s.size() && s[i] == separator) {
    out += '.';
    ++i;
    while (i < s.size() && isDigit(s[i])) { out += s[i++]; digits = true; }
  }
  return digits;
}

}  // namespace

double leadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (isBlank(text[i]) || text[i] == '\n' || text[i] == '\r')) ++i;
  std::string c;
  if (!scanMantissa(text, i, '.', c)) return 0;
  scanExponent(text, i, c);
  // A number too large for a double counts as no number, never as infinity.
  return parseC(c).value_or(0.0);
}

std::optional<double> textToNumber(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  std::string_view s = text.substr(b, e - b);

  std::string c;
  size_t i = 0;
  // The decimal separator is the comma; a point ends the number.
  if (!scanMantissa(s, i, ',', c)) return std::nullopt;
  i = scanExponent(s, i, c);
  if (i != s.size()) return std::nullopt;
  return parseC(c);
}

std::string numberToText(double value) {
  if (!std::isfinite(value)) return value > 0 ? "inf" : (value < 0 ? "-inf" : "nan");
  if (value == 0) return "0";
  // 15 significant digits, rounded to nearest, locale-free.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  std::string sci(buf, res.ptr);  // d.dddddddddddddde[+-]XX
  size_t ePos = sci.find('e');
  std::string digits = sci.substr(0, 1) + sci.substr(2, ePos - 2);
  int exponent = std::stoi(sci.substr(ePos + 1));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = value < 0 ? "-" : "";
  if (exponent < -4 || exponent > 14) {
    out += digits[0];
    if (digits.size() > 1) out += "," + digits.substr(1);
    out += exponent < 0 ? "E-" : "E+";
    std::string e = std::to_string(std::abs(exponent));
    if (e.size() < 2) e = "0" + e;
    return out + e;
  }
  if (exponent < 0) return out + "0," + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  size_t intLen = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= intLen) return out + digits + std::string(intLen - digits.size(), '0');
  return out + digits.substr(0, intLen) + "," + digits.substr(intLen);
}

double roundHalfEven(double value) {
  // nearbyint follows the default rounding mode, round-half-even.
  return std::nearbyint(value);
}

std::optional<int16_t> toInt16(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double r = roundHalfEven(value);
  if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max()) return std::nullopt;
  return static_cast<int16_t>(r);
}

std::optional<int32_t> toInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double r = roundHalfEven(value);
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(r);
}

std::string intToText(long long value) { return std::to_string(value); }

}  // namespace velmira
