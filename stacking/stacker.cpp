#include "stacking/stacker.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <algorithm>
#include <deque>
#include <filesystem>

#include "stacking/plan.h"

namespace fs = std::filesystem;

namespace velmira::stacking {

namespace {

const char* const kTools[] = {"align_image_stack", "enfuse"};

// The first line of a tool's own statement of its version.
std::string versionOf(platform::Processes& processes, const std::string& path, const std::string& tool,
                      const std::atomic<bool>& cancel) {
  std::string version;
  platform::ProcessRequest request{path, {tool == "enfuse" ? "--version" : "-h"}, {}};
  processes.run(request, [&](const std::string& line) {
    // "enfuse 4.2", "align_image_stack version 2022.0.0.a0962865f932"
    if (version.empty() && line.rfind(tool, 0) == 0 && line.find_first_of("0123456789") != std::string::npos)
      version = line;
  }, cancel);
  return version.empty() ? tool : version;
}

bool diskFull(const std::string& folder, const std::deque<std::string>& output) {
  for (const std::string& line : output)
    if (line.find("No space left") != std::string::npos || line.find("ENOSPC") != std::string::npos) return true;
  std::error_code ec;
  const fs::space_info space = fs::space(folder, ec);
  return !ec && space.available < 1024 * 1024;
}

std::string lastWords(const std::deque<std::string>& output) {
  for (auto it = output.rbegin(); it != output.rend(); ++it)
    if (it->find_first_not_of(" \t") != std::string::npos) return *it;
  return {};
}

// A fusion that was killed with its program (a crash, a power cut) left its
// work folder: the next one in that folder removes it.
void removeAbandonedWork(const std::string& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(".apilando-", 0) != 0) continue;
    const int pid = std::atoi(name.c_str() + 10);
    if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
      std::error_code e;
      fs::remove_all(it->path(), e);
    }
  }
}

std::string folderOf(const std::string& path) {
  fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? "." : parent.string();
}

}  // namespace

std::vector<std::string> missingTools(platform::Processes& processes) {
  std::vector<std::string> missing;
  for (const char* tool : kTools)
    if (!processes.find(tool)) missing.emplace_back(tool);
  return missing;
}

Outcome fuseStack(platform::Processes& processes, platform::Clock& clock, const Job& job, const Recipe& recipe,
                  const std::function<void(const Progress&)>& onProgress, const std::atomic<bool>& cancel) {
  Outcome out;
  out.frames = job.frames.paths.size();
  const int64_t start = clock.nowMs();
  auto finish = [&](Ending ending, std::string message) {
    out.ending = ending;
    out.message = std::move(message);
    out.elapsedMs = clock.nowMs() - start;
    return out;
  };

  std::vector<std::string> missing = missingTools(processes);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : " ni ") + m;
    return finish(Ending::ToolsMissing, "No se pudo apilar: no se encuentra " + names + ". Instálelos con «" +
                                            std::string(kInstallHint) + "».");
  }
  const std::string alignPath = *processes.find("align_image_stack");
  const std::string fusePath = *processes.find("enfuse");
  out.alignVersion = versionOf(processes, alignPath, "align_image_stack", cancel);
  out.fuseVersion = versionOf(processes, fusePath, "enfuse", cancel);

  // The work folder sits beside the results, so they are renamed, not
  // copied, into place; the aligned frames need room there.
  // Absolute, as the tools run inside the work folder.
  const std::string resultFolder = fs::absolute(folderOf(job.tif.empty() ? job.jpg : job.tif)).string();
  std::error_code ec;
  const uintmax_t perFrame = static_cast<uintmax_t>(job.frames.info.width) * job.frames.info.height * 4 *
                             (job.frames.info.bitsPerSample > 8 ? 2 : 1);
  const fs::space_info space = fs::space(resultFolder, ec);
  if (!ec && space.available < perFrame * (job.frames.paths.size() + 4))
    return finish(Ending::Failed, "No se pudo apilar: no queda espacio en el disco de " + resultFolder +
                                      " (hacen falta unos " +
                                      std::to_string(perFrame * (job.frames.paths.size() + 4) / (1024 * 1024)) +
                                      " MB).");
  removeAbandonedWork(resultFolder);
  std::string work = resultFolder + "/.apilando-" + std::to_string(getpid()) + "-XXXXXX";
  if (!mkdtemp(work.data()))
    return finish(Ending::Failed, "No se pudo apilar: no se puede escribir en la carpeta " + resultFolder + ".");
  struct Cleanup {
    std::string dir;
    ~Cleanup() {
      std::error_code e;
      fs::remove_all(dir, e);
    }
  } cleanup{work};

  std::vector<std::string> absolute;
  for (const std::string& p : job.frames.paths) absolute.push_back(fs::absolute(p).string());
  const std::vector<Invocation> plan = planStack(absolute, job.frames.info, work, recipe, !job.jpg.empty());
  ProgressTracker tracker(plan, start);
  for (size_t i = 0; i < plan.size(); ++i) {
    if (cancel.load()) return finish(Ending::Cancelled, "Apilado cancelado.");
    const Invocation& inv = plan[i];
    out.commands.push_back(commandLine(inv));
    tracker.begin(i);
    if (onProgress) onProgress(tracker.at(clock.nowMs()));
    std::deque<std::string> output;  // the last lines, for the message
    platform::ProcessRequest request{inv.tool == "enfuse" ? fusePath : alignPath, inv.args, work};
    platform::ProcessResult r = processes.run(request, [&](const std::string& line) {
      output.push_back(line);
      if (output.size() > 20) output.pop_front();
      if (tracker.line(line) && onProgress) onProgress(tracker.at(clock.nowMs()));
    }, cancel);
    out.peakKb = std::max(out.peakKb, r.peakKb);
    out.peaksKb.push_back(r.peakKb);
    if (r.cancelled || cancel.load()) return finish(Ending::Cancelled, "Apilado cancelado.");
    if (!r.succeeded()) {
      if (diskFull(resultFolder, output))
        return finish(Ending::Failed, "No se pudo apilar: no queda espacio en el disco de " + resultFolder + ".");
      std::string cause = !r.started ? "no se pudo ejecutar (" + r.error + ")"
                          : r.signal ? "terminó por la señal " + std::to_string(r.signal)
                                     : "terminó con el código " + std::to_string(r.exitCode);
      const std::string said = lastWords(output);
      std::string what = inv.stage == Stage::Aligning ? "No se pudieron alinear las fotos: "
                                                      : "No se pudieron fusionar las fotos: ";
      return finish(Ending::Failed, what + inv.tool + " " + cause + (said.empty() ? "" : " («" + said + "»)") + ".");
    }
  }
  // Every result is whole: now they take their names.
  auto place = [&](const std::string& from, const std::string& to) {
    std::error_code e;
    fs::rename(from, to, e);
    if (e) return false;
    out.files.push_back(to);
    return true;
  };
  if (!job.tif.empty() && !place(workTif(work), job.tif))
    return finish(Ending::Failed, "No se pudo guardar " + job.tif + ".");
  if (!job.jpg.empty() && !place(workJpg(work), job.jpg))
    return finish(Ending::Failed, "No se pudo guardar " + job.jpg + ".");
  return finish(Ending::Done, {});
}

}  // namespace velmira::stacking
