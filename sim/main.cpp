// velmira-sim: the simulated rail on a pseudo-terminal (see --help).
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/rail.h"

namespace {

std::string statusLine(const velmira::sim::Summary& s) {
  const velmira::sim::Tally& t = s.tally;
  return "\rposición " + std::to_string(t.position) + "  motor " + (t.energised ? "ON " : "OFF") +
         "  disparos " + std::to_string(t.shots) + "  perdidos " + std::to_string(t.lost) + "  errores " +
         std::to_string(t.errors) + "  puerto " + (s.hostOpen ? "abierto" : "cerrado") + "   ";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmira::sim;
  ParsedCommandLine parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.command) {
    std::cerr << "velmira-sim: " << parsed.error << "\nPruebe «velmira-sim --help».\n";
    return 2;
  }
  const CommandLine& cmd = *parsed.command;
  if (cmd.help) {
    std::cout << helpText();
    return 0;
  }
  if (cmd.version) {
    std::cout << "velmira-sim " VELMIRA_VERSION "\n";
    return 0;
  }
  // The signals that end the program are taken here, by this thread only,
  // so the reader thread never sees them and the link is always removed.
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, s);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Rail rail;
  try {
    rail.start(cmd.rail);
  } catch (const std::exception& e) {
    std::cerr << "velmira-sim: " << e.what() << "\n";
    return 1;
  }
  std::cout << "Carril simulado en " << rail.slavePath() << ", publicado como " << rail.linkPath() << std::endl;
  if (std::optional<Backend> backend = rail.backend())
    std::cout << "Firmware " << cmd.rail.avrImage << " en el simulador AVR, driver " << backendName(*backend) << std::endl;
  const timespec tick {0, 100'000'000};
  while (!rail.vanished()) {
    if (sigtimedwait(&ending, nullptr, &tick) > 0) break;
    if (cmd.status) std::cerr << statusLine(rail.summary()) << std::flush;
  }
  rail.stop();
  if (cmd.status) std::cerr << statusLine(rail.summary()) << "\n";
  std::cout << (cmd.summaryJson ? summaryJson(rail.summary()) + "\n" : summaryText(rail.summary())) << std::flush;
  return 0;
}
