// Fakes of the platform with one virtual clock.  Every fake writes what it
// saw into one transcript, in order, with the virtual time, so a test can
// compare the whole sequence: bytes on the line, waits, boxes, key events.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/form_principal.h"
#include "platform/platform.h"
#include "platform/port_enumerator.h"
#include "platform/port_registry.h"
#include "platform/posix_files.h"
#include "platform/posix_serial_port.h"
#include "platform/steady_clock.h"

namespace velmira::test {

struct Entry {
  int64_t timeMs;
  std::string what;  // "write p", "sleep 300", "box Error!", "open 3", ...
};

struct Transcript {
  std::vector<Entry> entries;
  void add(int64_t t, std::string what) { entries.push_back({t, std::move(what)}); }
};

class VirtualClock : public platform::Clock {
 public:
  explicit VirtualClock(Transcript& t) : t_(t) {}
  int64_t nowMs() override { return now_; }
  // 2026-12-08 03:40:00 UTC when the rig is made.
  int64_t wallMs() override { return 1'796'701'200'000 + now_ - 1'000'000; }
  void sleepMs(int32_t ms) override;
  void advance(int64_t ms) { now_ += ms; }
  int64_t now_ = 1'000'000;  // not zero: an open at "0" must not look special
 private:
  Transcript& t_;
};

// A fake that writes what it saw into the transcript at the virtual time.
class Recorder {
 public:
  Recorder(Transcript& t, VirtualClock& c) : t_(t), clock_(c) {}

 protected:
  void note(std::string what) { t_.add(clock_.nowMs(), std::move(what)); }
  Transcript& t_;
  VirtualClock& clock_;
};

class FakeSerialPort : public platform::SerialPort, Recorder {
 public:
  using Recorder::Recorder;
  void setPortNumber(int16_t n) override;
  int16_t portNumber() const override { return number_; }
  void open() override;
  bool isOpen() const override { return open_; }
  void setSettings(const std::string& s) override;
  void write(const std::string& data) override;
  void close() override;

  std::string bytes;                    // everything written, in order
  std::vector<int16_t> existing{1, 2, 3, 4, 5, 7, 9, 12};  // numbers that open
  std::optional<std::string> openFailure;  // open fails with this text
  std::string openFailureDetail;
  int vanishAfterBytes = -1;            // the adapter is unplugged after N bytes
  std::string settings;

 private:
  int16_t number_ = 1;
  bool open_ = false;
  bool gone_ = false;
};

class FakeDevices : public platform::DeviceEnumerator {
 public:
  std::vector<std::string> names;
  bool fails = false;
  std::vector<std::string> displayNames() override;
};

// The shutter keys, and what the desktop answers once they were sent: a
// key it did not take, a notice that stops nothing (each said once).
class FakeKeys : public platform::KeySynth, Recorder {
 public:
  using Recorder::Recorder;
  std::optional<std::string> unavailable, warning, refused, noticed;
  std::optional<std::string> unavailableReason() override { return unavailable; }
  void keyEvent(uint8_t vk, uint8_t scan, uint32_t flags, uintptr_t extra) override;
  int prepared = 0;  // how often prepare() was called
  void prepare() override { ++prepared; }
  std::optional<std::string> caveat() override { return warning; }
  std::optional<std::string> failure() override { return std::exchange(refused, std::nullopt); }
  std::optional<std::string> notice() override { return std::exchange(noticed, std::nullopt); }
};

// Pending window events: actions a test schedules run at the first event
// pass at or after their virtual time.
class FakeEvents : public platform::EventPump {
 public:
  explicit FakeEvents(VirtualClock& c) : clock_(c) {}
  void doEvents() override;
  void at(int64_t timeMs, std::function<void()> action) { scheduled_.emplace_back(timeMs, std::move(action)); }

 private:
  VirtualClock& clock_;
  std::vector<std::pair<int64_t, std::function<void()>>> scheduled_;
};

class FakeMessages : public platform::MessageBoxes, Recorder {
 public:
  using Recorder::Recorder;
  void show(const platform::MessageBoxRequest& r) override;
  // Recorded as "ask <text>"; the answers are taken in order (then no).
  bool askRetry(const platform::MessageBoxRequest& r) override;
  std::vector<bool> retryAnswers;
  std::vector<platform::MessageBoxRequest> shown;
  std::vector<std::string> texts() const;
};

class FakePictures : public platform::Pictures {
 public:
  // A JPEG starts with FF D8 FF.
  bool canLoad(const std::string& path) override;
};

class FakeInstance : public platform::InstanceGuard {
 public:
  bool running = false;
  std::vector<std::string> activated;
  bool otherInstanceRunning() override { return running; }
  bool activate(const std::string& title) override { activated.push_back(title); return true; }
};

class FakeProcess : public platform::Process {
 public:
  platform::ScreenSize size{15360, 11520};  // 1024 x 768 px
  std::string dir;
  std::string titleText = "Velmira";
  int ended = 0;
  platform::ScreenSize screen() override { return size; }
  std::string programDir() override { return dir; }
  std::string pictures;
  std::string picturesDir() override { return pictures; }
  std::string shipped;  // the program's own folder when `dir` is another one
  std::string shippedDir() override { return shipped; }
  std::string exeName() override { return "velmira"; }
  std::string title() override { return titleText; }
  void setTitle(const std::string& t) override { titleText = t; }
  [[noreturn]] void end() override { ++ended; throw ProgramEnded{}; }
};

// The desktop's services: the sleep lock and the run's start, progress and
// end, told into the transcript ("sleeplock on", "desktop progress 1/2").
class FakeDesktop : public platform::DesktopSession, Recorder {
 public:
  using Recorder::Recorder;
  void inhibitSleep(const std::string& why) override { reason = why, note("sleeplock on"); }
  void releaseSleep() override { note("sleeplock off"); }
  void runStarted(const RunPlan& p) override;
  void runProgress(int done, int frames) override;
  void runEnded(const RunOutcome& o) override;
  std::string reason;  // the sleep lock's
  std::string dir;     // the program's folder, told as DIR
  std::string folder;  // the last run's photos
};

// The fusion of a stack's frames: it fuses nothing, and tells the folder it
// was asked with what the folder held then ("fuse DIR 3 photos", " before
// the record's end" when the record had not the run's end yet), and its
// giving way ("giveway on").  `missing`: the tools are not installed.
class FakeFusion : public platform::StackFusion, Recorder {
 public:
  using Recorder::Recorder;
  std::optional<std::string> fuse(const std::string& folder) override;
  void giveWay(bool stepping) override { note(stepping ? "giveway on" : "giveway off"); }
  bool missing = false;
};

// A USB camera: each shot takes `shotMs` of virtual time and writes a small
// JPEG where the window asks; a test scripts what the next opens and shots
// do.  Told as "camera open", "camera shot foto-0001", "camera close".
class FakeCamera : public platform::Camera, Recorder {
 public:
  using Recorder::Recorder;
  std::optional<Found> find(Error* error) override;
  Error open(Found* found, std::string* serial) override;
  void startShot(const std::string& folder, const std::string& stem) override;
  bool finished() override { return clock_.nowMs() >= doneAt_; }
  Shot shot() override { return result_; }
  void close() override { note("camera close"); }

  bool present = true;
  Found found{"Cámara de prueba", "usb:001,005"};
  int64_t shotMs = 1000;
  bool rawToo = false;            // a RAW beside each JPEG
  std::deque<Cause> openResults;  // what the next opens give (then None)
  std::deque<Cause> shotResults;  // what the next shots give (then None)

 private:
  int64_t doneAt_ = 0;
  Shot result_;
};

// The controller's shutter, one actuation a photo: "Disparador" with its
// mirror box cleared, reached as a user reaches it (the box cleared hides
// the delay field; the mode switched away and back shows it again).
inline void controllerShot(Form_Principal& f) {
  f.Disparo.setListIndex(1);
  f.CheckEsp.setValue(0);
  f.Disparo.setListIndex(0);
  f.Disparo.setListIndex(1);
}

// The fields a run reads: frames, steps per frame and, when given, the
// pauses before and after the photo (seconds).
inline void runFields(Form_Principal& f, const char* frames, const char* steps, const char* taf = nullptr,
                      const char* tpf = nullptr) {
  f.Text4.setText(frames);
  f.Text3.setText(steps);
  if (taf) f.Text10.setText(taf);
  if (tpf) f.Text5.setText(tpf);
}

// How the window of a rig meets the machine.  By default every part is a
// fake on the virtual clock.
struct RigOptions {
  // The real link: the POSIX serial port and the enumeration of this ports
  // directory, where a simulated rail publishes its port.
  std::string portsDir = {};
  // The system's monotonic clock instead of the virtual one.
  bool realTime = false;
  // Another clock and event pump (the front end's own).
  platform::Clock* clock = nullptr;
  platform::EventPump* events = nullptr;
};

// Everything a test needs: the fakes (or the real link), a temporary
// program directory and the window, created on first use so that a test
// can lay files first.
class Rig {
 public:
  explicit Rig(RigOptions options = {});
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;
  Form_Principal& form();
  // Runs the load handler and shows the window; false when the program ended.
  bool start();
  const std::string& dir() const { return dir_; }
  void writeFile(const std::string& name, const std::string& bytes);
  std::optional<std::string> readFile(const std::string& name) const;
  // Bytes written to the fake port since the rig was made.
  const std::string& line() const { return serial.bytes; }
  // Selects the port whose list text holds `name` and connects (the line
  // then holds "p").  With the fake link the port is listed first.
  void connect(const std::string& name = "USB Serial (ttyUSB0) (COM3)");
  std::vector<std::string> boxes() const { return messages.texts(); }

  Transcript transcript;
  VirtualClock clock{transcript};
  FakeSerialPort serial{transcript, clock};
  FakeDevices devices;
  FakeKeys keys{transcript, clock};
  FakeEvents events{clock};
  FakeMessages messages{transcript, clock};
  platform::PosixFiles files;
  FakePictures pictures;
  FakeInstance instance;
  FakeProcess process;
  FakeDesktop desktop{transcript, clock};
  FakeCamera camera{transcript, clock};
  FakeFusion fusion{transcript, clock};
  platform::SteadyClock steady;
  // The real link, with RigOptions::portsDir.
  struct Link {
    explicit Link(const std::string& portsDir) : enumerator(registry, nullptr, portsDir) {}
    platform::PortRegistry registry;
    platform::PortEnumerator enumerator;
    platform::PosixSerialPort serial{registry};
  };
  std::unique_ptr<Link> link;
  platform::Platform platform;

 private:
  std::string dir_;
  std::string oldCwd_;
  std::unique_ptr<Form_Principal> form_;
};

}  // namespace velmira::test
