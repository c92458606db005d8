#include "stacking/frames.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace velmira::stacking {

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

namespace {

bool isFrameName(const fs::path& p) {
  const std::string ext = lowerAscii(p.extension().string());
  const std::string stem = lowerAscii(p.stem().string());
  if (stem == "apilada" || stem.rfind(".", 0) == 0) return false;
  return ext == ".jpg" || ext == ".jpeg" || ext == ".tif" || ext == ".tiff" || ext == ".png";
}

std::string readPart(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(limit, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(limit));
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
  return bytes;
}

std::string name(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

std::optional<PictureInfo> readPictureFile(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::string head = readPart(path, 256 * 1024);
  if (auto info = readPictureHeader(head)) return info;
  // A TIFF may keep its directory after the picture's data.
  const auto size = fs::file_size(path, ec);
  if (!ec && head.size() >= 4 && (head[0] == 'I' || head[0] == 'M') && size > head.size() &&
      size <= 1024ull * 1024 * 1024)
    return readPictureHeader(readPart(path, static_cast<size_t>(size)));
  return std::nullopt;
}

FrameScan scanFolder(const std::string& folder) {
  FrameScan scan;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    scan.problem = "La carpeta " + folder + " no existe o no se puede leer.";
    return scan;
  }
  std::vector<std::string> paths;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_regular_file(typeEc) && isFrameName(it->path())) paths.push_back(it->path().string());
  }
  if (ec) {
    scan.problem = "No se puede leer la carpeta " + folder + ": " + ec.message() + ".";
    return scan;
  }
  std::sort(paths.begin(), paths.end());
  if (paths.empty()) {
    scan.problem = "La carpeta " + folder + " no tiene fotos (JPEG, TIFF o PNG) que apilar.";
    return scan;
  }
  for (const std::string& p : paths) {
    auto info = readPictureFile(p);
    if (!info) {
      scan.problem = "No se puede leer la foto " + name(p) + ": no es un JPEG, TIFF o PNG completo.";
      return scan;
    }
    if (p == paths.front()) {
      scan.frames.info = *info;
    } else if (info->width != scan.frames.info.width || info->height != scan.frames.info.height) {
      scan.problem = "Las fotos no son todas del mismo tamaño: " + name(paths.front()) + " mide " +
                     std::to_string(scan.frames.info.width) + "x" + std::to_string(scan.frames.info.height) +
                     " y " + name(p) + " mide " + std::to_string(info->width) + "x" +
                     std::to_string(info->height) + ".";
      return scan;
    }
    scan.frames.info.bitsPerSample = std::max(scan.frames.info.bitsPerSample, info->bitsPerSample);
  }
  scan.frames.paths = std::move(paths);
  if (scan.frames.paths.size() < 2)
    scan.problem = "La carpeta " + folder + " tiene una sola foto: hacen falta dos o más para apilar.";
  return scan;
}

}  // namespace velmira::stacking
