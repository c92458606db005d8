#include "sim/rail.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "platform/port_enumerator.h"
#include "platform/steady_clock.h"
#include "sim/virtual_port.h"

namespace velmira::sim {
namespace {

std::atomic<int> railsStarted{0};

void sleepUntil(double monotonicMs) {
  timespec ts {};
  ts.tv_sec = static_cast<time_t>(monotonicMs / 1000.0);
  ts.tv_nsec = static_cast<long>((monotonicMs - static_cast<double>(ts.tv_sec) * 1000.0) * 1e6);
  if (ts.tv_nsec >= 1'000'000'000L) ts.tv_nsec = 999'999'999L;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

bool masterHungUp(int master) {
  pollfd p {master, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
}

}  // namespace

Rail::Rail() = default;

Rail::~Rail() { stop(); }

void Rail::start(const Options& options) {
  if (reader_.joinable() || port_) throw std::runtime_error("El carril ya está en marcha");
  const std::string dir = options.portsDir.empty() ? platform::virtualPortsDir() : options.portsDir;
  const std::string name = options.name.empty() ? defaultLinkName(++railsStarted) : options.name;
  try {
    resetState(options);
    auto openLog = [](const std::string& path) {
      std::FILE* f = std::fopen(path.c_str(), "w");
      if (!f) throw std::runtime_error("No se puede escribir " + path + ": " + std::strerror(errno));
      return f;
    };
    if (!options.logPath.empty()) log_ = openLog(options.logPath);
    if (!options.pinLogPath.empty()) pinLog_ = openLog(options.pinLogPath);
    port_ = std::make_unique<VirtualPort>(dir, name);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error(std::strerror(errno));
    // The watch is in place before anyone can find the port.
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0 && inotify_add_watch(inotify_, port_->slavePath().c_str(), IN_OPEN) < 0) {
      ::close(inotify_);
      inotify_ = -1;
    }
    port_->publish();
  } catch (...) {
    stop();
    throw;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slavePath_ = port_->slavePath();
    linkPath_ = port_->linkPath();
  }
  startMs_ = platform::monotonicMs();
  reader_ = std::thread([this] { run(); });
}

void Rail::resetState(const Options& options) {
  options_ = options;
  avr_ = nullptr;
  controller_.reset();
  if (options.avrImage.empty()) {
    controller_ = std::make_unique<Decoder>(options.restPhase);
  } else {
    auto avr = std::make_unique<AvrController>(options.avrImage);
    avr_ = avr.get();
    controller_ = std::move(avr);
  }
  resetUntil_ = -1;
  lineFreeAt_ = 0;
  hupclAtClose_ = true;
  everOpened_ = false;
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
  bytes_.clear();
  pins_.clear();
  summary_ = Summary{};
  stopping_ = false;
}

void Rail::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  if (wake_[1] >= 0) {
    char c = 0;
    (void)!::write(wake_[1], &c, 1);
  }
  if (reader_.joinable()) reader_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    port_.reset();
  }
  for (int& fd : wake_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  if (inotify_ >= 0) ::close(inotify_);
  inotify_ = -1;
  for (std::FILE** f : {&log_, &pinLog_}) {
    if (*f) std::fclose(*f);
    *f = nullptr;
  }
  changed_.notify_all();
}

void Rail::run() {
  if (options_.vanishAfterBytes == 0) return vanish();
  for (;;) {
    const double now = platform::monotonicMs();
    const double vanishAt = options_.vanishAfterMs >= 0 ? startMs_ + static_cast<double>(options_.vanishAfterMs) : -1;
    if (vanishAt >= 0 && now >= vanishAt) return vanish();
    const bool open = summary().hostOpen;
    int timeout = -1;
    if (vanishAt >= 0) timeout = static_cast<int>(std::max(1.0, vanishAt - now + 0.999));
    // While the port is closed, the hang-up state is looked at every 100 ms
    // besides the opens inotify reports (every millisecond without it).
    if (!open) timeout = std::min(timeout < 0 ? INT_MAX : timeout, inotify_ < 0 ? 1 : 100);
    // The firmware's clock runs on between bytes.
    if (avr_) timeout = std::min(timeout < 0 ? INT_MAX : timeout, 20);
    pollfd fds[3] = {{open ? port_->master() : -1, POLLIN, 0}, {inotify_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 3, timeout) < 0 && errno != EINTR) return;
    if (fds[2].revents) return;
    if (avr_) advance(platform::monotonicMs() - startMs_);
    bool opened = false;  // inotify saw an open of the slave
    if (fds[1].revents) {
      char buf[4096];
      while (::read(inotify_, buf, sizeof buf) > 0) opened = true;
    }
    if (!open) {
      // An open that inotify saw may be over already (the host opened,
      // wrote and closed meanwhile): its bytes are still to be read.
      if (masterHungUp(port_->master()) && !opened) continue;
      hostOpened(platform::monotonicMs());
    }
    if (!receive()) {
      if (summary().vanished) return;
      hostClosed();
    }
  }
}

// Reads what has arrived.  False when the host closed the port (or the rail
// vanished meanwhile).
bool Rail::receive() {
  const double byteMs = options_.baud > 0 ? 10000.0 / options_.baud : 0;  // 1 start, 8 data, 1 stop bit
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_ || summary_.vanished) return !summary_.vanished;
    }
    unsigned char buf[256];
    ssize_t n = ::read(port_->master(), buf, options_.baud > 0 ? 1 : sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    if (n <= 0) return false;
    double t = platform::monotonicMs();
    int waiting = 0;
    ioctl(port_->master(), FIONREAD, &waiting);
    if (byteMs > 0) {
      // The byte is on the wire from when the line is free until its stop bit.
      t = std::max(t, lineFreeAt_) + byteMs;
      lineFreeAt_ = t;
      sleepUntil(t);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      summary_.maxQueue = std::max(summary_.maxQueue, static_cast<int>(n) + waiting);
    }
    for (ssize_t i = 0; i < n; ++i) {
      handle(buf[i], t - startMs_);
      if (summary().vanished) return false;
    }
  }
}

void Rail::handle(unsigned char byte, double t) {
  const bool resetting = resetUntil_ >= 0 && t + startMs_ < resetUntil_;
  publish(resetting ? controller_->ignore(byte, t) : controller_->feed(byte, t));
  publishPins();
  if (options_.vanishAfterBytes >= 0 && controller_->tally().bytes >= options_.vanishAfterBytes) vanish();
}

void Rail::hostOpened(double t) {
  const bool restarts = options_.resetMs > 0 && (!everOpened_ || hupclAtClose_);
  everOpened_ = true;
  if (restarts) {
    resetUntil_ = t + static_cast<double>(options_.resetMs);
    controller_->boardReset(t - startMs_);
    publishPins();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++summary_.opens;
    summary_.hostOpen = true;
    if (restarts) ++summary_.resets;
  }
  Event e;
  e.tMs = t - startMs_;
  e.kind = Kind::PortOpen;
  e.ignored = restarts;
  publish(e);
}

void Rail::hostClosed() {
  termios t {};
  hupclAtClose_ = tcgetattr(port_->master(), &t) != 0 || (t.c_cflag & HUPCL);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    summary_.hostOpen = false;
  }
  Event e;
  e.tMs = platform::monotonicMs() - startMs_;
  e.kind = Kind::PortClose;
  publish(e);
}

void Rail::vanish() {
  std::lock_guard<std::mutex> lock(mutex_);
  port_->unplug();
  summary_.vanished = true;
  summary_.hostOpen = false;
  changed_.notify_all();
}

void Rail::publish(Event e) {
  e.pos = controller_->tally().position;
  if (log_) {
    std::fputs((toJsonLine(e) + "\n").c_str(), log_);
    std::fflush(log_);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(e);
  if (isByte(e)) bytes_ += static_cast<char>(e.byte);
  summary_.tally = controller_->tally();
  changed_.notify_all();
}

void Rail::advance(double t) {
  if (controller_->advanceTo(t)) {
    std::lock_guard<std::mutex> lock(mutex_);
    summary_.tally = controller_->tally();
    changed_.notify_all();
  }
  publishPins();
}

void Rail::publishPins() {
  if (!avr_) return;
  std::vector<PinChange> pins = avr_->takePinChanges();
  if (pins.empty()) return;
  if (pinLog_) {
    for (const PinChange& c : pins) std::fputs((pinChangeJson(c) + "\n").c_str(), pinLog_);
    std::fflush(pinLog_);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  pins_.insert(pins_.end(), pins.begin(), pins.end());
  changed_.notify_all();
}

// Set by start() before the reader runs, and fixed for the image.
std::optional<Backend> Rail::backend() const { return avr_ ? std::optional<Backend>(avr_->backend()) : std::nullopt; }
std::vector<PinChange> Rail::pinChanges() const { std::lock_guard<std::mutex> l(mutex_); return pins_; }

std::string Rail::slavePath() const { std::lock_guard<std::mutex> l(mutex_); return slavePath_; }
std::string Rail::linkPath() const { std::lock_guard<std::mutex> l(mutex_); return linkPath_; }
std::vector<Event> Rail::allEvents() const { std::lock_guard<std::mutex> l(mutex_); return events_; }

std::vector<Event> Rail::events() const {
  std::vector<Event> out;
  for (const Event& e : allEvents())
    if (isByte(e)) out.push_back(e);
  return out;
}

std::vector<Event> Rail::portEvents() const {
  std::vector<Event> out;
  for (const Event& e : allEvents())
    if (!isByte(e)) out.push_back(e);
  return out;
}
std::string Rail::bytes() const { std::lock_guard<std::mutex> l(mutex_); return bytes_; }
Summary Rail::summary() const { std::lock_guard<std::mutex> l(mutex_); return summary_; }
int64_t Rail::position() const { return summary().tally.position; }
int64_t Rail::lost() const { return summary().tally.lost; }
int64_t Rail::shots() const { return summary().tally.shots; }
int64_t Rail::errors() const { return summary().tally.errors; }
std::vector<double> Rail::holds() const { return summary().tally.holds; }
bool Rail::energised() const { return summary().tally.energised; }
bool Rail::hostOpen() const { return summary().hostOpen; }
bool Rail::vanished() const { return summary().vanished; }

std::string Rail::lineSettings() const {
  std::lock_guard<std::mutex> l(mutex_);
  termios t {};
  if (!port_ || port_->master() < 0 || tcgetattr(port_->master(), &t) != 0) return "";
  struct Speed { speed_t code; int baud; };
  static constexpr Speed kSpeeds[] = {{B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600},
                                      {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
  int baud = 0;
  for (const Speed& s : kSpeeds)
    if (cfgetospeed(&t) == s.code) baud = s.baud;
  const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
  const tcflag_t size = t.c_cflag & CSIZE;
  const int bits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  return std::to_string(baud) + "," + parity + "," + std::to_string(bits) + "," + ((t.c_cflag & CSTOPB) ? "2" : "1");
}

bool Rail::waitFor(const std::function<bool(const Summary&)>& condition, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return condition(summary_); });
}

bool Rail::waitForBytes(size_t n, int timeoutMs) {
  return waitFor([n](const Summary& s) { return s.vanished || s.tally.bytes >= static_cast<int64_t>(n); }, timeoutMs) &&
         summary().tally.bytes >= static_cast<int64_t>(n);
}

}  // namespace velmira::sim
