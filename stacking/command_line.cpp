#include "stacking/command_line.h"

#include <unistd.h>

#include <filesystem>

#include "platform/posix_processes.h"
#include "platform/steady_clock.h"
#include "stacking/frames.h"
#include "stacking/stacker.h"

namespace fs = std::filesystem;

namespace velmira::stacking {

namespace {

int usage(std::FILE* err, const std::string& what) {
  std::fprintf(err, "velmira: %s\nUso: velmira --apilar CARPETA [--salida ARCHIVO.tif|ARCHIVO.jpg]\n", what.c_str());
  return kBadOptions;
}

}  // namespace

int runStackCommand(const std::vector<std::string>& args, platform::Processes& processes, platform::Clock& clock,
                    const std::atomic<bool>& cancel, std::FILE* out, std::FILE* err, bool terminal,
                    const Recipe& recipe) {
  std::string folder, output;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i], value;
    const size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
    } else if ((a == "--apilar" || a == "--salida") && i + 1 < args.size()) {
      value = args[++i];
    }
    if (a == "--apilar" && !value.empty() && folder.empty()) folder = value;
    else if (a == "--salida" && !value.empty() && output.empty()) output = value;
    else return usage(err, a == "--apilar" || a == "--salida" ? "falta el valor de " + a : "opción no válida: " + a);
  }
  if (folder.empty()) return usage(err, "falta la carpeta de --apilar");

  Job job;
  if (output.empty()) {
    job.tif = (fs::path(folder) / kResultTif).string();
    job.jpg = (fs::path(folder) / kResultJpg).string();
  } else {
    const std::string ext = lowerAscii(fs::path(output).extension().string());
    if (ext == ".tif" || ext == ".tiff") job.tif = output;
    else if (ext == ".jpg" || ext == ".jpeg") job.jpg = output;
    else return usage(err, "el archivo de --salida debe acabar en .tif o .jpg: " + output);
    std::error_code ec;
    const fs::path parent = fs::path(output).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec))
      return usage(err, "la carpeta de " + output + " no existe");
  }

  FrameScan scan = scanFolder(folder);
  if (scan.problem) {
    std::fprintf(err, "velmira: %s\n", scan.problem->c_str());
    return kBadFolder;
  }
  job.frames = scan.frames;
  std::fprintf(err, "Apilando %zu fotos de %dx%d de %s\n", job.frames.paths.size(), job.frames.info.width,
               job.frames.info.height, folder.c_str());

  std::string shown;  // the last line written when not on a terminal
  bool drawn = false;
  auto onProgress = [&](const Progress& p) {
    if (terminal) {
      std::fprintf(err, "\r%s\033[K", progressBar(p, 30).c_str());
      drawn = true;
    } else {
      // One line per stage and frame, not per redraw.
      std::string line = stageName(p.stage) + " foto " + std::to_string(p.frame) + " de " + std::to_string(p.frames);
      if (line == shown) return;
      shown = line;
      std::fprintf(err, "%s\n", progressBar(p, 30).c_str());
    }
    std::fflush(err);
  };
  Outcome o = fuseStack(processes, clock, job, recipe, onProgress, cancel);
  if (drawn) std::fputc('\n', err);
  switch (o.ending) {
    case Ending::Done:
      for (const std::string& f : o.files) std::fprintf(out, "%s\n", f.c_str());
      std::fprintf(err, "Hecho en %.1f s.\n", static_cast<double>(o.elapsedMs) / 1000.0);
      return kStacked;
    case Ending::Cancelled:
      std::fprintf(err, "velmira: apilado cancelado; no se ha escrito nada.\n");
      return kInterrupted;
    case Ending::ToolsMissing:
      std::fprintf(err, "velmira: %s\n", o.message.c_str());
      return kToolsMissing;
    case Ending::Failed:
      break;
  }
  std::fprintf(err, "velmira: %s\n", o.message.c_str());
  return kToolFailed;
}

int stackCommandMain(int argc, char** argv) {
  static std::atomic<bool> cancel{false};
  platform::cancelOnSignals(&cancel);
  platform::PosixProcesses processes;
  platform::SteadyClock clock;
  std::vector<std::string> args(argv + 1, argv + argc);
  return runStackCommand(args, processes, clock, cancel, stdout, stderr, isatty(fileno(stderr)) != 0);
}

}  // namespace velmira::stacking
