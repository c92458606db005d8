// The machine's own platform for the program: Qt, X11 and POSIX.  The port
// enumeration and the serial port share one registry, so the number of a
// listed port opens that port.
#pragma once

#include "platform/gphoto_camera.h"
#include "platform/port_enumerator.h"
#include "platform/port_registry.h"
#include "platform/posix_files.h"
#include "platform/posix_processes.h"
#include "platform/posix_serial_port.h"
#include "platform/steady_clock.h"
#include "qt/desktop_session.h"
#include "qt/instance_guard.h"
#include "qt/qt_platform.h"
#include "qt/system_ports.h"
#include "qt/session_keys.h"
#include "qt/stack_fusion.h"

namespace velmira::qt {

struct RealPlatform {
  RealPlatform() {
    process.beforeEnd = [this] { instance.close(); };
    fusion.runOnDock = [this] { return desktop.showingRun(); };
  }
  RealPlatform(const RealPlatform&) = delete;
  RealPlatform& operator=(const RealPlatform&) = delete;

  platform::PortRegistry registry;
  platform::PortEnumerator devices{registry, &systemSerialPorts};
  platform::PosixSerialPort serial{registry};
  SessionKeySynth keys;
  QtClock clock;
  QtEventPump events;
  QtMessageBoxes messages;
  platform::PosixFiles files;
  QtPictures pictures;
  QtInstanceGuard instance;
  QtProcess process;
  QtDesktopSession desktop;
  platform::GphotoCamera camera;
  // A stack's frames fused after a USB camera's run, off the window's thread.
  platform::PosixProcesses processes;
  platform::SteadyClock fusionClock;
  QtStackFusion fusion{processes, fusionClock};
  platform::Platform platform{serial,   devices,  keys,     clock,   events,    messages, files,
                              pictures, instance, process,  &desktop, &camera, &fusion};
};

}  // namespace velmira::qt
