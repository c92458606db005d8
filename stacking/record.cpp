#include "stacking/record.h"

#include <cstdio>
#include <filesystem>

namespace velmira::stacking {

namespace {

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string list(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + quoted(items[i]);
  return out + "]";
}

const char* endingName(Ending e) {
  switch (e) {
    case Ending::Done: return "hecho";
    case Ending::Cancelled: return "cancelado";
    case Ending::Failed:
    case Ending::ToolsMissing: return "fallido";
  }
  return "fallido";
}

std::string seconds(int64_t ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(ms) / 1000.0);
  return buf;
}

std::vector<std::string> names(const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  for (const std::string& p : paths) out.push_back(std::filesystem::path(p).filename().string());
  return out;
}

}  // namespace

std::string recordJson(const Outcome& o) {
  std::string j = "{\"resultado\": " + quoted(endingName(o.ending));
  j += ", \"fotos\": " + std::to_string(o.frames);
  j += ", \"segundos\": " + seconds(o.elapsedMs);
  if (!o.alignVersion.empty()) j += ", \"align_image_stack\": " + quoted(o.alignVersion);
  if (!o.fuseVersion.empty()) j += ", \"enfuse\": " + quoted(o.fuseVersion);
  j += ", \"ordenes\": " + list(o.commands);
  j += ", \"archivos\": " + list(names(o.files));
  if (!o.message.empty()) j += ", \"motivo\": " + quoted(o.message);
  return j + "}";
}

std::string recordText(const Outcome& o) {
  std::string t = "Apilado: ";
  if (o.ending == Ending::Done) {
    t += "hecho en " + seconds(o.elapsedMs) + " s con " + std::to_string(o.frames) + " fotos:";
    for (const std::string& f : names(o.files)) t += " " + f;
    t += "\n";
  } else {
    t += std::string(o.ending == Ending::Cancelled ? "cancelado" : "fallido") + " tras " + seconds(o.elapsedMs) +
         " s. " + o.message + "\n";
  }
  if (!o.alignVersion.empty()) t += "  Herramientas: " + o.alignVersion + "; " + o.fuseVersion + "\n";
  for (const std::string& c : o.commands) t += "  " + c + "\n";
  return t;
}

}  // namespace velmira::stacking
