// The end of the program from outside its window: SIGTERM (a shutdown, a
// logout), SIGINT (Ctrl+C in the terminal that started it), SIGHUP (that
// terminal closed) and the end of the desktop session (the application told
// to quit).  Each one leaves the
// controller safe before the program ends (Form_Principal::Terminar_Programa):
// a held shutter output released, the motor off, the output drained, the
// port closed.
//
// The signal handler only writes the signal's number to a pipe; the work is
// done on the window's thread, where the pipe is read at the next slice of
// a wait or the next event pass (a few milliseconds at most), so a signal
// that arrives during the 1000 ms shutter hold ends the hold at once.
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

 private:
  void signalArrived();
  void end(int signal);

  Form_Principal& form_;
  QtProcess& process_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmira::qt
