// Positioning moves of 2000 steps at speeds 1, 2 and 5 ms with the real Qt
// window, its background picture, its own clock and event passes, against
// the simulated rail on a pseudo-terminal: the step rate the rail sees, its
// step periods and the host's own time per step beyond the delay.  The same
// figures for a plain loop (write a letter, sleep the delay, one event pass)
// on the same window show what the window itself costs.  Run under an X
// server (xvfb-run) to measure the real window system; without a display it
// falls back to the offscreen platform.  The toolkit-free variant is
// move_bench.  With --apilando: speed 1 alone and while a stack of 12
// frames is being fused beside the window (align_image_stack and enfuse at
// their lowest priority).
#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "bench/figures.h"
#include "platform/posix_processes.h"
#include "stacking/frames.h"
#include "stacking/stacker.h"
#include "tests/support/focus_bracket.h"
#include "tests/support/real_window_rig.h"

using namespace velmira;

namespace {

constexpr int kSteps = 2000;

// A photograph-like picture of the window's size: gradients and detail, so
// that scaling it costs what a real one does.
std::string makePicture(const QString& dir) {
  QImage image(1600, 1200, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, qRgb((x * 255) / image.width(), (y * 255) / image.height(),
                                static_cast<int>(128 + 127 * std::sin(x * 0.05) * std::cos(y * 0.07))));
  const QString path = dir + "/MiImagen.jpg";
  image.save(path, "JPEG", 90);
  return path.toStdString();
}

struct Figures {
  double stepsPerS, median, p99, max, hostPerStep;
  long long lost;
  double waitOverMedian = 0, waitOverP99 = 0, passMedian = 0, passP99 = 0, sentMedian = 0, sentP99 = 0;
};

void print(const char* what, int speedMs, const Figures& f) {
  std::printf("%-8s %6d %10.1f %10.3f %10.3f %10.3f %12.3f %6lld\n", what, speedMs, f.stepsPerS, f.median, f.p99,
              f.max, f.hostPerStep, f.lost);
}

// The program's wait and event pass, timed: how far each wait overshoots
// its delay and how long each event pass takes.
// The picture, made before the window that shows it.
QTemporaryDir pictureDir;

struct TimedClock : qt::QtClock {
  void sleepMs(int32_t ms) override {
    const double from = platform::monotonicMs();
    starts.push_back(from);
    qt::QtClock::sleepMs(ms);
    over.push_back(platform::monotonicMs() - from - ms);
  }
  std::vector<double> over, starts;
};
struct TimedPump : qt::QtEventPump {
  void doEvents() override {
    const double from = platform::monotonicMs();
    qt::QtEventPump::doEvents();
    took.push_back(platform::monotonicMs() - from);
  }
  std::vector<double> took;
};

struct WindowBench : test::RealWindowRig<TimedClock, TimedPump> {
  WindowBench()
      : RealWindowRig("velmira-sim-window-bench", [](Form_Principal& f) {
          f.Image1.setStretch(true);
          f.Image1.setPicture(makePicture(pictureDir.path()));
        }) {
    if (!connected()) throw std::runtime_error("not connected");
  }

  Figures figures(double from, double took) {
    std::vector<double> gaps = bench::periods(rail.events(), sim::Kind::StepForward, from - rail.startMs());
    double span = 0;
    for (double g : gaps) span += g;
    return {1000.0 * static_cast<double>(gaps.size()) / span, bench::percentile(gaps, 0.5),
            bench::percentile(gaps, 0.99), bench::percentile(gaps, 1.0), took / kSteps,
            static_cast<long long>(rail.lost())};
  }

  Figures window(int speedMs) {
    form.hscVelocidad.setValue(speedMs);
    form.CheckP3.setValue(0);
    form.Text9.setText(std::to_string(kSteps));
    const size_t before = rail.bytes().size();
    const double from = platform::monotonicMs();
    clock.over.clear();
    clock.starts.clear();
    events.took.clear();
    form.Mover.click();
    const double took = platform::monotonicMs() - from;
    rail.waitForBytes(before + kSteps + 1, 10000);
    Figures f = figures(from, took);
    f.waitOverMedian = bench::percentile(clock.over, 0.5);
    f.waitOverP99 = bench::percentile(clock.over, 0.99);
    f.passMedian = bench::percentile(events.took, 0.5);
    f.passP99 = bench::percentile(events.took, 0.99);
    // Each step's wait starts just after its letter was written.
    std::vector<double> sent;
    for (size_t i = 1; i < clock.starts.size(); ++i) sent.push_back(clock.starts[i] - clock.starts[i - 1]);
    f.sentMedian = bench::percentile(sent, 0.5);
    f.sentP99 = bench::percentile(sent, 0.99);
    f.hostPerStep -= speedMs;
    return f;
  }

  // The least a host can do per step: the letter, the sleep, one pass of
  // the window's events, and the count shown.
  Figures plain(int speedMs) {
    static const char kForward[] = {'a', 'b', 'c', 'd'};
    const size_t before = rail.bytes().size();
    const double from = platform::monotonicMs();
    int fase = 3;
    for (int i = 0; i < kSteps; ++i) {
      fase = (fase + 1) % 4;
      form.MSComm_Puerto_Serie.write(std::string(1, kForward[fase]));
      timespec ts{0, speedMs * 1'000'000L};
      nanosleep(&ts, nullptr);
      QCoreApplication::processEvents();
    }
    const double took = platform::monotonicMs() - from;
    form.MSComm_Puerto_Serie.write("p");
    rail.waitForBytes(before + kSteps + 1, 10000);
    Figures f = figures(from, took);
    f.hostPerStep -= speedMs;
    return f;
  }

};

}  // namespace

// A stack fused over and over beside the window, as after a USB camera's
// run, until `stop`; it gives way to the rail's steps as the program's
// fusion does once it is the window's.
struct FusionBeside : platform::StackFusion {
  std::optional<std::string> fuse(const std::string&) override { return std::nullopt; }
  void giveWay(bool stepping) override { processes.hold(stepping); }
  platform::PosixProcesses processes;
  FusionBeside() : bracket("velmira-bench-fusion-") {
    test::writeBracket(bracket.path(), {.width = 1600, .height = 1200, .frames = 12});
    thread = std::thread([this] {
      platform::SteadyClock clock;
      stacking::Job job;
      job.frames = stacking::scanFolder(bracket.path()).frames;
      job.jpg = bracket / "apilada.jpg";
      while (!stop) {
        stacking::fuseStack(processes, clock, job, {}, [this](const stacking::Progress&) { ++progress; }, stop);
        ++fusions;
      }
    });
    // Under way: the tools have started.
    while (progress == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~FusionBeside() override {
    processes.hold(false);
    stop = true;
    thread.join();
  }
  test::ScratchFolder bracket;
  std::atomic<bool> stop{false};
  std::atomic<int> progress{0}, fusions{0};
  std::thread thread;
};

int main(int argc, char** argv) {
  const bool besideFusion = argc > 1 && !std::strcmp(argv[1], "--apilando");
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  WindowBench b;
  std::printf("Positioning moves of %d steps, the real window (%s) with its background picture, rail on a pty\n",
              kSteps, qPrintable(QGuiApplication::platformName()));
  std::printf("%-8s %6s %10s %10s %10s %10s %12s %6s\n", "loop", "speed", "steps/s", "median", "p99", "max",
              "host+/step", "lost");
  std::printf("%-8s %6s %10s %10s %10s %10s %12s %6s\n", "", "ms", "", "ms", "ms", "ms", "ms", "");
  {
    // A long pause costs next to no processor time.
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    b.clock.sleepMs(2000);
    getrusage(RUSAGE_SELF, &after);
    auto cpuMs = [](const rusage& r) {
      return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
    };
    std::printf("A 2 s wait used %.1f ms of processor time (the process, all threads)\n", cpuMs(after) - cpuMs(before));
  }
  if (besideFusion) {
    // Speed 1 alone, then while a stack is fused beside it at the lowest
    // priority: the step timing must not change.
    auto details = [](const Figures& f) {
      std::printf("%-8s %6d   wait overshoot median %.3f p99 %.3f ms, event pass median %.3f p99 %.3f ms\n", "", 1,
                  f.waitOverMedian, f.waitOverP99, f.passMedian, f.passP99);
      std::printf("%-8s %6d   period as written by the program: median %.3f p99 %.3f ms\n", "", 1, f.sentMedian,
                  f.sentP99);
    };
    const Figures alone = b.window(1);
    print("alone", 1, alone);
    details(alone);
    FusionBeside fusion;
    const Figures beside = b.window(1);
    print("fusing", 1, beside);
    details(beside);
    platform::StackFusion* before = std::exchange(b.form.plataforma().fusion, &fusion);
    const Figures givingWay = b.window(1);
    b.form.plataforma().fusion = before;
    print("yielding", 1, givingWay);
    details(givingWay);
    std::printf("(the fusion had reached progress report %d of its run %d)\n", fusion.progress.load(),
                fusion.fusions.load() + 1);
    return 0;
  }
  for (int speed : {1, 2, 5}) {
    const Figures w = b.window(speed);
    const Figures p = b.plain(speed);
    print("window", speed, w);
    std::printf("%-8s %6d   wait overshoot median %.3f p99 %.3f ms, event pass median %.3f p99 %.3f ms\n", "", speed,
                w.waitOverMedian, w.waitOverP99, w.passMedian, w.passP99);
    print("plain", speed, p);
    std::printf("%-8s %6d %10.3f %10s %10.3f\n", "ratio", speed, w.stepsPerS / p.stepsPerS, "", w.p99 / p.p99);
  }
  return 0;
}
