// The end of the program from outside its window: SIGTERM (a shutdown, a
// logout), SIGINT (Ctrl+C in the terminal that started it), SIGHUP (that
// terminal closed), the end of the desktop session (the application told
// to quit) and the loss of the display (the X server or the compositor gone
// at a logout: the platform plugin then ends the process itself, with no
// signal and no quit).  Each one leaves the
// controller safe before the program ends (Form_Principal::Terminar_Programa):
// a held shutter output released, the motor off, the output drained, the
// port closed.
//
// The signal handler only writes the signal's number to a pipe; the work is
// done on the window's thread, where the pipe is read at the next slice of
// a wait or the next event pass (a few milliseconds at most), so a signal
// that arrives during the 1000 ms shutter hold ends the hold at once.  A
// signal that was ignored when the program started (nohup, a background
// job) stays ignored, and the handlers that were there before come back
// when this object goes.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "app/form_principal.h"
#include "qt/qt_platform.h"

namespace velmira::qt {

class EndFromOutside : public QObject {
 public:
  // Installs the handlers for the life of this object (one at a time).
  EndFromOutside(Form_Principal& form, QtProcess& process);
  ~EndFromOutside() override;

  // The process is about to end without the window (the display is gone,
  // something called exit()): the same end, once, on the window's thread,
  // ending by `signal` (0: none) or with `status`.  Does nothing once the
  // window has ended the program.
  void endBeforeTheProcess(int signal, int status);

 private:
  void signalArrived();
  void end(int signal);

  Form_Principal& form_;
  QtProcess& process_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmira::qt
