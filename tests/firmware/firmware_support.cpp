#include "tests/firmware/firmware_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <sstream>

#include "sim/avr_controller.h"

namespace velmira::firmware::test {
namespace {

using Trace = std::vector<std::string>;  // SEEN's tokens, the pins' with their time: "F@1.05"

std::string number(double x, int decimals) {
  char out[32];
  std::snprintf(out, sizeof out, "%.*f", decimals, x);
  return out;
}

std::vector<std::string> words(const std::string& s) {
  std::istringstream in(s);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// One token of SENT.
struct Sent {
  explicit Sent(const std::string& w) {
    const size_t at = w.find('@'), slash = w.find('/'), star = w.find('*');
    if (at != std::string::npos) atMs = std::stod(w.substr(at + 1));
    if (slash != std::string::npos) gapMs = std::stod(w.substr(slash + 1));
    std::string once = w.substr(0, std::min(at, star));
    if (once == "{others}") {
      once.clear();
      for (int v = 0; v < 256; ++v)
        if (std::string_view("abcdprs").find(char(v)) == std::string::npos) once += char(v);
    }
    for (int n = star < at ? std::stoi(w.substr(star + 1)) : 1; n > 0; --n) bytes += once;
  }
  std::string bytes;
  std::optional<double> atMs;  // none: at once
  double gapMs = 0;            // 0: back to back
};

// The pin changes of a board whose pins were all low, as SEEN's tokens.
class PinTrace {
 public:
  explicit PinTrace(double originUs) : originUs_(originUs) {}
  void add(const PinChange& c) {
    const bool coil = c.port == 'B' && c.bit < 4, step = c.port == 'D' && c.bit == 2;
    if (coilsAt_ && (!coil || c.timeUs != *coilsAt_)) flushCoils();
    if (coil) {
      coils_ = c.high ? coils_ | 1u << c.bit : coils_ & ~(1u << c.bit);
      coilsAt_ = c.timeUs;
    } else if (c.port == 'D' && c.bit == 3) {
      dirHigh_ = c.high;
      dirAt_ = c.timeUs;
      badPulse_ |= pulse_.has_value();
    } else if (step && c.high) {
      pulse_ = out_.size();
      riseAt_ = c.timeUs;
      badPulse_ = c.timeUs - dirAt_ < 1.0 || enableHigh_;
      event(dirHigh_ ? "F" : "B", c.timeUs);
    } else if (step) {
      if (pulse_ && (badPulse_ || c.timeUs - riseAt_ < 2.0)) markBadPulse();
      pulse_.reset();
    } else if (c.port == 'D' && c.bit == 4) {
      enableHigh_ = c.high;
      event(c.high ? "off" : "on", c.timeUs);
    } else {
      const bool shutter = c.port == 'B' && c.bit == 5;
      event(shutter ? (c.high ? "R" : "S") : sim::arduinoPinName(c.port, c.bit) + (c.high ? "+" : "-"), c.timeUs);
    }
  }
  Trace finish() {
    if (coilsAt_) flushCoils();
    if (pulse_) markBadPulse();  // STEP stays high
    return out_;
  }

 private:
  void event(const std::string& name, double us) { out_.push_back(name + "@" + number((us - originUs_) / 1000, 2)); }
  void markBadPulse() { out_[*pulse_].insert(1, "!"); }
  void flushCoils() {
    static const char* kPhases[16] = {"p", 0, 0, "a", 0, 0, "b", 0, 0, "d", 0, 0, "c"};
    std::string bits;
    for (int b = 0; b < 4; ++b) bits += coils_ & 1u << b ? '1' : '0';
    event(kPhases[coils_] ? kPhases[coils_] : bits, *coilsAt_);
    coilsAt_.reset();
  }
  double originUs_, dirAt_ = -1e9, riseAt_ = 0;
  Trace out_;
  unsigned coils_ = 0;
  std::optional<double> coilsAt_;
  bool dirHigh_ = false, enableHigh_ = false, badPulse_ = false;
  std::optional<size_t> pulse_;
};

Trace playBoard(const std::string& image, std::vector<std::string> sent) {
  AvrBoard board(image);
  const bool startUp = !sent.empty() && sent.front() == "^";
  if (startUp) sent.erase(sent.begin());
  const double originUs = board.nowUs();
  auto runTo = [&](double ms) { board.runUs(originUs + ms * 1000 - board.nowUs()); };
  for (const std::string& w : sent) {
    const Sent t(w);
    if (t.atMs) runTo(*t.atMs);
    for (size_t i = 0; t.gapMs > 0 && i < t.bytes.size(); ++i) {
      runTo(*t.atMs + i * t.gapMs);
      board.send(t.bytes.substr(i, 1));
    }
    board.sendAndRun(t.gapMs > 0 ? "" : t.bytes);
  }
  PinTrace trace(originUs);
  for (const PinChange& c : board.changes()) trace.add(c);
  Trace seen = trace.finish();
  if (!startUp) std::erase_if(seen, [](const std::string& s) { return s.find("@-") != std::string::npos; });
  if (board.bytesTransmitted()) seen.push_back("sent=" + std::to_string(board.bytesTransmitted()));
  return seen;
}

Trace playRail(const std::string& image, const std::vector<std::string>& sent) {
  sim::AvrController avr(image);
  Trace seen;
  double nextMs = 10;
  for (const std::string& w : sent) {
    const Sent t(w);
    if (t.atMs) nextMs = *t.atMs;
    if (t.bytes == "!") {
      avr.takePinChanges();
      avr.boardReset(nextMs);
      PinTrace trace(0);
      for (const PinChange& c : avr.takePinChanges()) trace.add(c);
      seen.push_back("reset");
      for (const std::string& s : trace.finish()) seen.push_back(s.substr(0, s.find('@')));
    }
    if (t.bytes.empty() && !avr.advanceTo(nextMs)) seen.push_back("~");
    else if (t.bytes.empty() || t.bytes == "!") seen.push_back(avr.tally().energised ? "~on" : "~off");
    for (char b : t.bytes == "!" ? std::string() : t.bytes) {
      seen.push_back(sim::kindName(avr.feed(static_cast<unsigned char>(b), nextMs).kind));
      nextMs += t.gapMs > 0 ? t.gapMs : 2.0;
    }
  }
  const sim::Tally& y = avr.tally();
  seen.push_back("pos=" + std::to_string(y.position));
  for (auto [name, n] : {std::pair{"fwd=", y.stepsForward}, {"back=", y.stepsBackward}, {"lost=", y.lost},
                         {"err=", y.errors}, {"shots=", y.shots}})
    if (n) seen.push_back(name + std::to_string(n));
  for (double h : y.holds) seen.push_back("holds=" + number(h, 2));
  if (y.energised) seen.push_back("on");
  if (y.shutterOpen) seen.push_back("open");
  return seen;
}

// Whether `seen` is what `expected` says: the same tokens in order, and
// the same time, to the digits written, where a token gives one.
bool matches(const std::string& expected, const Trace& seen) {
  Trace want;
  for (const std::string& w : words(expected)) {
    const size_t star = w.find('*');
    if (star == std::string::npos) want.push_back(w);
    else want.insert(want.end(), std::stoul(w.substr(star + 1)), w.substr(0, star));
  }
  if (want == Trace{"-"}) want.clear();
  if (want.size() != seen.size()) return false;
  for (size_t i = 0; i < want.size(); ++i) {
    const size_t at = want[i].find('@'), point = want[i].find('.', at), seenAt = seen[i].find('@');
    std::string got = seen[i].substr(0, seenAt);
    if (at != std::string::npos && seenAt != std::string::npos) {
      const int decimals = point == std::string::npos ? 0 : int(want[i].size() - point - 1);
      got += "@" + number(std::stod(seen[i].substr(seenAt + 1)), decimals);
    }
    if (want[i] != got) return false;
  }
  return true;
}

}  // namespace

void checkTranscripts(const char* table) {
  std::istringstream in(table);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = line.substr(0, line.find('#'));
    const size_t bar1 = line.find('|'), bar2 = line.find('|', bar1 + 1);
    if (bar2 == std::string::npos) continue;
    const std::string image = words(line.substr(0, bar1)).at(0);
    const std::vector<std::string> sent = words(line.substr(bar1 + 1, bar2 - bar1 - 1));
    for (const std::string& one : image == "both" ? std::vector<std::string>{"4w", "sd"} : std::vector{image}) {
      const std::string path = one.ends_with("4w") ? VELMIRA_FIRMWARE_4WIRE_ELF : VELMIRA_FIRMWARE_STEPDIR_ELF;
      const Trace seen = one.starts_with("rail-") ? playRail(path, sent) : playBoard(path, sent);
      std::string all;
      for (const std::string& s : seen) all += " " + s;
      EXPECT_TRUE(matches(line.substr(bar2 + 1), seen)) << "line " << number << ", " << one << ": " << line
                                                        << "\n  seen:" << all;
    }
  }
}

}  // namespace velmira::firmware::test
