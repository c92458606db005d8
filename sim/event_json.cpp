#include "sim/event_json.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace velmira::sim {
namespace {

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

std::string byteString(unsigned char b) {
  if (b == '"' || b == '\\') return std::string("\"\\") + static_cast<char>(b) + "\"";
  if (b >= 0x20 && b < 0x7f) return std::string("\"") + static_cast<char>(b) + "\"";
  char buf[16];
  std::snprintf(buf, sizeof buf, "\"\\u%04x\"", b);
  return buf;
}

// The flat objects of toJsonLine: keys to raw values (strings unquoted).
std::optional<std::map<std::string, std::string>> flatObject(const std::string& s) {
  std::map<std::string, std::string> out;
  size_t i = 0;
  auto skip = [&] { while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r')) ++i; };
  auto str = [&]() -> std::optional<std::string> {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    std::string v;
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (s[i] != '\\') { v += s[i]; continue; }
      if (++i >= s.size()) return std::nullopt;
      if (s[i] == 'u') {
        if (i + 4 >= s.size()) return std::nullopt;
        long code = std::strtol(s.substr(i + 1, 4).c_str(), nullptr, 16);
        if (code > 0xff) return std::nullopt;
        v += static_cast<char>(code);
        i += 4;
      } else {
        v += s[i];
      }
    }
    if (i >= s.size()) return std::nullopt;
    ++i;
    return v;
  };
  skip();
  if (i >= s.size() || s[i++] != '{') return std::nullopt;
  for (;;) {
    skip();
    std::optional<std::string> key = str();
    if (!key) return std::nullopt;
    skip();
    if (i >= s.size() || s[i++] != ':') return std::nullopt;
    skip();
    std::string value;
    if (i < s.size() && s[i] == '"') {
      std::optional<std::string> v = str();
      if (!v) return std::nullopt;
      value = *v;
    } else {
      while (i < s.size() && s[i] != ',' && s[i] != '}') value += s[i++];
    }
    out[*key] = value;
    skip();
    if (i < s.size() && s[i] == ',') { ++i; continue; }
    if (i < s.size() && s[i] == '}') return out;
    return std::nullopt;
  }
}

}  // namespace

std::string toJsonLine(const Event& e) {
  std::string line = "{\"t_ms\":" + number(e.tMs) + (isByte(e) ? ",\"byte\":" + byteString(e.byte) : "") +
                     ",\"pos\":" + std::to_string(e.pos) + ",\"event\":\"" + kindName(e.kind) + "\"";
  if (e.kind == Kind::ShutterClose) line += ",\"hold_ms\":" + number(e.holdMs);
  if (e.ignored) line += ",\"reset\":true";
  return line + "}";
}

std::optional<Event> parseJsonLine(const std::string& line) {
  std::optional<std::map<std::string, std::string>> o = flatObject(line);
  if (!o || !o->count("t_ms") || !o->count("pos") || !o->count("event")) return std::nullopt;
  std::optional<Kind> kind = kindFromName(o->at("event"));
  if (!kind) return std::nullopt;
  Event e;
  e.kind = *kind;
  if (isByte(e)) {
    if (!o->count("byte") || o->at("byte").size() != 1) return std::nullopt;
    e.byte = static_cast<unsigned char>(o->at("byte")[0]);
  }
  e.tMs = std::strtod(o->at("t_ms").c_str(), nullptr);
  e.pos = std::strtoll(o->at("pos").c_str(), nullptr, 10);
  if (o->count("hold_ms")) e.holdMs = std::strtod(o->at("hold_ms").c_str(), nullptr);
  e.ignored = o->count("reset") && o->at("reset") == "true";
  return e;
}

std::string arduinoPinName(char port, int bit) {
  switch (port) {
    case 'D': return "D" + std::to_string(bit);
    case 'B': return "D" + std::to_string(8 + bit);
    case 'C': return "A" + std::to_string(bit);
    default: return std::string("P") + port + std::to_string(bit);
  }
}

std::string pinChangeJson(const PinChange& c) {
  return "{\"t_us\":" + number(c.timeUs) + ",\"pin\":\"" + arduinoPinName(c.port, c.bit) +
         "\",\"high\":" + (c.high ? "true" : "false") + "}";
}

std::optional<PinChange> parsePinChangeJson(const std::string& line) {
  std::optional<std::map<std::string, std::string>> o = flatObject(line);
  if (!o || !o->count("t_us") || !o->count("pin") || !o->count("high")) return std::nullopt;
  const std::string& pin = o->at("pin");
  for (char port : {'B', 'C', 'D'})
    for (int bit = 0; bit < 8; ++bit)
      if (arduinoPinName(port, bit) == pin)
        return PinChange{std::strtod(o->at("t_us").c_str(), nullptr), port, bit, o->at("high") == "true"};
  return std::nullopt;
}

std::string summaryJson(const Summary& s) {
  const Tally& t = s.tally;
  std::string holds;
  for (double h : t.holds) holds += (holds.empty() ? "" : ",") + number(h);
  auto flag = [](bool b) { return b ? "true" : "false"; };
  return "{\"bytes\":" + std::to_string(t.bytes) + ",\"position\":" + std::to_string(t.position) +
         ",\"energised\":" + flag(t.energised) + ",\"steps_forward\":" + std::to_string(t.stepsForward) +
         ",\"steps_backward\":" + std::to_string(t.stepsBackward) + ",\"lost\":" + std::to_string(t.lost) +
         ",\"lost_during_reset\":" + std::to_string(t.lostDuringReset) + ",\"shots\":" + std::to_string(t.shots) +
         ",\"holds_ms\":[" + holds + "],\"shutter_open\":" + flag(t.shutterOpen) +
         ",\"errors\":" + std::to_string(t.errors) + ",\"opens\":" + std::to_string(s.opens) +
         ",\"resets\":" + std::to_string(s.resets) + ",\"max_queue\":" + std::to_string(s.maxQueue) +
         ",\"vanished\":" + flag(s.vanished) + "}";
}

std::string summaryText(const Summary& s) {
  const Tally& t = s.tally;
  std::string out = "Resumen del carril simulado\n";
  auto line = [&](const std::string& what, const std::string& value) { out += "  " + what + ": " + value + "\n"; };
  line("bytes recibidos", std::to_string(t.bytes));
  line("posición", std::to_string(t.position) + " pasos (" + std::to_string(t.stepsForward) + " adelante, " +
                       std::to_string(t.stepsBackward) + " atrás)");
  line("motor", t.energised ? "energizado" : "apagado");
  line("pasos perdidos", std::to_string(t.lost) + " (" + std::to_string(t.lostDuringReset) + " durante el reinicio)");
  line("disparos", std::to_string(t.shots) + (t.shutterOpen ? " (salida de disparo aún activa)" : ""));
  if (!t.holds.empty()) {
    double lo = t.holds[0], hi = t.holds[0];
    for (double h : t.holds) { lo = std::min(lo, h); hi = std::max(hi, h); }
    line("pulsación", "de " + number(lo) + " a " + number(hi) + " ms");
  }
  line("errores de protocolo", std::to_string(t.errors));
  line("aperturas del puerto", std::to_string(s.opens) + " (" + std::to_string(s.resets) + " reinicios)");
  line("mayor cola de entrada", std::to_string(s.maxQueue) + " bytes");
  if (s.vanished) line("desconexión simulada", "sí");
  return out;
}

}  // namespace velmira::sim
