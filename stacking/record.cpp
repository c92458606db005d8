#include "stacking/record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
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

namespace {

std::optional<std::string> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Written beside, flushed to the disk, then renamed over the old one.
bool replace(const std::string& path, const std::string& text) {
  const std::string temp = path + ".nuevo";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == text.size() && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> addToRecord(const std::string& folder, const Outcome& o) {
  const std::string json = folder + "/pila.json", text = folder + "/pila.txt";
  if (auto old = readAll(json)) {
    std::string doc = *old;
    // An earlier fusion's member is the last one: it goes.
    const size_t earlier = doc.find(",\n  \"apilado\": ");
    if (earlier != std::string::npos) doc = doc.substr(0, earlier) + "\n}\n";
    const size_t end = doc.rfind('}');
    if (end == std::string::npos) return "pila.json no es un registro válido";
    size_t last = end;
    while (last > 0 && (doc[last - 1] == ' ' || doc[last - 1] == '\n' || doc[last - 1] == '\r')) --last;
    const bool empty = last > 0 && doc[last - 1] == '{';
    doc = doc.substr(0, last) + (empty ? "" : ",") + "\n  \"apilado\": " + recordJson(o) + "\n}\n";
    if (!replace(json, doc)) return "no se pudo escribir " + json;
  }
  if (auto old = readAll(text))
    if (!replace(text, *old + (old->empty() || old->back() == '\n' ? "" : "\n") + recordText(o)))
      return "no se pudo escribir " + text;
  return std::nullopt;
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
