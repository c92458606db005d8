#include "tests/support/fake_fusion.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/fake_platform.h"

namespace velmira::test {

std::optional<std::string> FakeFusion::fuse(const std::string& folder) {
  int photos = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    photos += e.path().filename().string().rfind("foto-", 0) == 0 && e.path().extension() == ".jpg";
  std::ifstream record(folder + "/pila.txt");
  const bool ended = std::string(std::istreambuf_iterator<char>(record), {}).find("\nFinal: ") != std::string::npos;
  t_.add(clock_.nowMs(), "fuse " + folder + " " + std::to_string(photos) + " photos" + (ended ? "" : " before the record's end"));
  if (!missing) return std::nullopt;
  return "No se pudo apilar la foto: faltan las herramientas de apilado. Instálelas con «sudo apt install "
         "hugin-tools enfuse».";
}

void FakeFusion::giveWay(bool stepping) { t_.add(clock_.nowMs(), stepping ? "giveway on" : "giveway off"); }

}  // namespace velmira::test
