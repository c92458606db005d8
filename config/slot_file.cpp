#include "config/slot_file.h"

#include <vector>

#include "base/cp1252.h"
#include "base/numbers.h"

namespace velmira::config {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (end < text.size() && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// A line 4 to 6: a whole number (after rounding) within [min, max].
std::optional<int16_t> readInteger(const std::string& line, int min, int max) {
  std::optional<double> x = textToNumber(line);
  std::optional<int16_t> n = x ? toInt16(*x) : std::nullopt;
  if (!n || *n < min || *n > max) return std::nullopt;
  return n;
}

}  // namespace

std::string slotInteger(int value) { return (value < 0 ? "" : " ") + intToText(value) + " "; }

std::string writeSlot(const SlotValues& v) {
  const std::string lines[7] = {v.milimetros,          v.tpf, v.taf, slotInteger(v.velocidad), slotInteger(v.tecla),
                                slotInteger(v.modo), v.espejo};
  std::string out;
  for (const std::string& line : lines) out += utf8ToCp1252(line) + "\r\n";
  return out;
}

std::optional<SlotValues> readSlot(std::string_view bytes) {
  std::vector<std::string> lines = splitLines(cp1252ToUtf8(bytes));
  if (lines.empty() || lines.size() % 7 != 0) return std::nullopt;
  const std::string* g = &lines[lines.size() - 7];
  std::optional<int16_t> velocidad = readInteger(g[3], 1, 1000);
  std::optional<int16_t> tecla = readInteger(g[4], -1, 6);
  std::optional<int16_t> modo = readInteger(g[5], -1, 2);
  if (!velocidad || !tecla || !modo) return std::nullopt;
  return SlotValues{g[0], g[1], g[2], *velocidad, *tecla, *modo, g[6]};
}

}  // namespace velmira::config
