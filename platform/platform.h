// The operations the window's logic needs from the machine, one small
// interface each.  The program implements them with Qt and POSIX (qt/,
// platform/posix_*); the tests use fakes with a virtual clock, so the logic
// builds and runs without any toolkit.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/stack_fusion.h"

namespace velmira::platform {

// A failure caught by the failure trap of the handlers that write to the
// port: a port that cannot be opened, a write that fails, a value that
// cannot be converted.  `what()` is the platform's description of it (the
// exit handler shows it in the message field); `detail` says the cause and
// the fix in Spanish when the link knows them (empty otherwise).
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& description, std::string detail = {})
      : std::runtime_error(description), detail_(std::move(detail)) {}
  const std::string& detail() const { return detail_; }

 private:
  std::string detail_;
};

// The serial port of the controller.  Nothing is ever read from it.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Port number for the next open.  Setting it on an open port fails.
  virtual void setPortNumber(int16_t number) = 0;
  virtual int16_t portNumber() const = 0;
  virtual void open() = 0;                                  // throws Failure
  virtual bool isOpen() const = 0;
  virtual void setSettings(const std::string& settings) = 0;  // "9600,N,8,1"; throws Failure
  // Every byte of `data` is handed to the kernel before this returns.
  virtual void write(const std::string& data) = 0;            // throws Failure
  // Waits (bounded) for the output to drain, then closes.
  virtual void close() = 0;                                   // throws Failure
};

// The display names of the machine's devices, in the platform's order.
class DeviceEnumerator {
 public:
  virtual ~DeviceEnumerator() = default;
  virtual std::vector<std::string> displayNames() = 0;
};

// Synthesised key events delivered to the program that has the keyboard focus.
class KeySynth {
 public:
  virtual ~KeySynth() = default;
  // Why no key can be synthesised here (in Spanish), or nothing when it can.
  // May wait for the desktop to answer a request made by prepare().
  virtual std::optional<std::string> unavailableReason() = 0;
  // Key shots are coming (the key mode chosen with the rail connected, or a
  // run in key mode starts): a path that needs the user's permission asks
  // for it now, not in the middle of a run, and asks again when it was
  // refused or lost before.
  virtual void prepare() {}
  // What the user should know before the first key shot (in Spanish), for
  // example that the key reaches only some programs; nothing when all is
  // well.
  virtual std::optional<std::string> caveat() { return std::nullopt; }
  // One keyboard event: virtual key, scan code, flags (2 = key up), extra.
  virtual void keyEvent(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo) = 0;
  // Why the key events since the last call did not all reach the desktop
  // (in Spanish), once; nothing when they did.
  virtual std::optional<std::string> failure() { return std::nullopt; }
  // What the user should know that stops nothing (a permission that could
  // not be kept for the next program run), in Spanish, once.
  virtual std::optional<std::string> notice() { return std::nullopt; }
};

// Time: a monotonic clock and the blocking wait.  During a wait no handler
// of the application runs.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t nowMs() = 0;
  virtual void sleepMs(int32_t ms) = 0;
  // A wait is under way: what the window system delivers now (the close
  // box) is held until the next event pass.
  virtual bool waiting() const { return false; }
  // The wall clock: milliseconds since 1970-01-01 UTC (the names and
  // records of the photos; never for waiting).
  virtual int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
};

// Lets pending window events run from inside a handler.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void doEvents() = 0;
};

enum class Icon { None, Critical };

struct MessageBoxRequest {
  std::string text;
  std::string title;
  Icon icon = Icon::None;
  std::string detail;  // informative text under the message (may be empty)
};

// Modal message box with an OK button; returns when the user closed it.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void show(const MessageBoxRequest& request) = 0;
  // A box with "Reintentar" and "Cancelar"; true when the user chose to try
  // again.
  virtual bool askRetry(const MessageBoxRequest& request) {
    show(request);
    return false;
  }
};

// What was read of a file: its first bytes, and whether there was more.
struct Contents {
  std::string bytes;
  bool cut = false;
};

// Files.  Paths are native; file contents are raw bytes.
class Files {
 public:
  virtual ~Files() = default;
  // A regular file is there (following links).
  virtual bool exists(const std::string& path) = 0;
  // At most `limit` bytes of a regular file.  Anything else (a FIFO, a
  // device, a folder) is never read and gives nothing, as a file that is
  // missing or cannot be read does; nothing here can block or grow without
  // bound.
  virtual std::optional<Contents> read(const std::string& path, size_t limit) = 0;
  // Replaces `path` with `bytes` only once they are completely written
  // (temporary file in the same directory, then rename).  On failure the old
  // file is untouched and the returned text says why, in Spanish and
  // beginning in lower case ("no queda espacio en el disco").
  virtual std::optional<std::string> replaceFile(const std::string& path, const std::string& bytes) = 0;
  // Adds `bytes` at the end of `path` (made when missing) and waits until
  // they are on the disk, so that a crash or a power cut keeps them.  On
  // failure, the text says why as replaceFile's does.
  virtual std::optional<std::string> appendFile(const std::string& path, const std::string& bytes) = 0;
  // Makes the folder and any missing folder above it; the text says why it
  // could not.
  virtual std::optional<std::string> makeFolder(const std::string& path) = 0;
  // Whether anything (a file, a folder) has this name.
  virtual bool taken(const std::string& path) = 0;
};

// Pictures for the background.
class Pictures {
 public:
  virtual ~Pictures() = default;
  // Whether the file holds a picture the window can show: a regular file
  // that decodes completely within the toolkit's limits.
  virtual bool canLoad(const std::string& path) = 0;
};

// Detection of an earlier instance and bringing it forward.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
  virtual bool otherInstanceRunning() = 0;
  // Brings the earlier instance whose window has this title to the front.
  virtual bool activate(const std::string& title) = 0;
};

struct ScreenSize {
  int widthTwips = 0;
  int heightTwips = 0;
};

// The program itself: screen, directories, names, title, ending.
class Process {
 public:
  virtual ~Process() = default;
  virtual ScreenSize screen() = 0;
  // The folder of the configuration slots and the background picture,
  // chosen once at start-up and kept for the whole run; no trailing
  // separator.
  virtual std::string programDir() = 0;
  // Where the program's own files lie when programDir() is another folder
  // (an installed program keeps the user's files in the user's data
  // folder): a slot or a picture that is not in programDir() is still read
  // from here.  Empty when there is no such folder.
  virtual std::string shippedDir() { return {}; }
  // The user's pictures folder (the desktop's user folders); no trailing
  // separator.
  virtual std::string picturesDir() { return {}; }
  virtual std::string exeName() = 0;     // file name without extension
  virtual std::string title() = 0;       // the application title
  virtual void setTitle(const std::string& title) = 0;
  // Ends the program at once; never returns.
  [[noreturn]] virtual void end() = 0;
};

// The desktop session's services over D-Bus.  A session may lack any of
// them (no bus, no service, a service that never answers): then nothing
// happens and the program goes on unchanged; no call blocks.
class DesktopSession {
 public:
  virtual ~DesktopSession() = default;
  // Keeps the machine from suspending and the session from going idle to
  // sleep, with `reason` shown to the user, until releaseSleep().
  virtual void inhibitSleep(const std::string& reason) = 0;
  virtual void releaseSleep() = 0;

  // A stack run, followed from across the room: its entry in the task bar
  // shows the progress, and notifications say when it started, when it will
  // end, and how it ended.
  struct RunPlan {
    int frames = 0;
    int photos = 0;          // the photos the run will take
    int64_t expectedMs = 0;  // how long it will take, from its fixed values
  };
  enum class RunEnd { Finished, Stopped, LinkFailed, NoKey, CameraFailed };
  struct RunOutcome {
    RunEnd how = RunEnd::Finished;
    int frame = 0;   // the frame it ended in (the last one when finished)
    int frames = 0;
    int photos = 0;  // photos taken by this run
    int64_t tookMs = 0;
    std::string folder;  // where a USB camera's photos went (empty: none)
    std::string cause;   // why the camera stopped the run (CameraFailed)
  };
  virtual void runStarted(const RunPlan&) {}
  virtual void runProgress(int framesDone, int frames) { (void)framesDone, (void)frames; }
  virtual void runEnded(const RunOutcome&) {}
};

// A camera on USB, fired and read through the camera library.  Only one
// call runs at a time, all from the window's thread; the capture runs on
// its own and the window waits for it on its clock, polling finished().
class Camera {
 public:
  // Why the camera could not do what was asked.
  enum class Cause {
    None,
    NotFound,    // no camera on USB (none plugged in, or switched off)
    Gone,        // it went away: unplugged or switched off
    Busy,        // it cannot shoot now (still writing, cannot focus)
    Full,        // its card or memory is full
    Claimed,     // another program holds the USB device
    Permission,  // no permission on the USB device
    Disk,        // the photo could not be written to the computer's disk
    Other,
  };
  struct Error {
    Cause cause = Cause::None;
    std::string detail;  // the library's or the system's own words
  };
  struct Found {
    std::string model;
    std::string port;  // "usb:001,007"
  };
  // One file written in the folder: its name and size in bytes.
  struct File {
    std::string name;
    uint64_t bytes = 0;
  };
  struct Shot {
    std::vector<File> files;  // in the order the camera gave them
    Error error;
  };

  virtual ~Camera() = default;
  // The first camera on USB; nothing when there is none (`error` says why
  // when the search itself failed).
  virtual std::optional<Found> find(Error* error) = 0;
  // Opens the camera found by find() for a run; on success `serial` holds
  // its serial number (empty when it tells none).  The photos go to the
  // camera's memory, not its card, when it can choose.
  virtual Error open(Found* found, std::string* serial) = 0;
  // Fires the camera and writes the new file (each one, for a camera that
  // gives a RAW and a JPEG) as `folder`/`stem`.<the camera's extension>:
  // under a temporary name, flushed to the disk, then renamed.  Then reads
  // the camera's pending events until it reports nothing more.  Returns at
  // once; the work goes on elsewhere until finished() is true.
  virtual void startShot(const std::string& folder, const std::string& stem) = 0;
  virtual bool finished() = 0;
  // The result of the shot, once finished.
  virtual Shot shot() = 0;
  // Releases the camera (after the shot under way, if any, has finished).
  virtual void close() = 0;
};

// Everything together, handed to the window at creation.
struct Platform {
  SerialPort& serial;
  DeviceEnumerator& devices;
  KeySynth& keys;
  Clock& clock;
  EventPump& events;
  MessageBoxes& messages;
  Files& files;
  Pictures& pictures;
  InstanceGuard& instance;
  Process& process;
  DesktopSession* desktop = nullptr;  // none: no desktop services
  Camera* camera = nullptr;           // none: no camera library
  StackFusion* fusion = nullptr;      // none: stacks are not fused
};

}  // namespace velmira::platform
