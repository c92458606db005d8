// The border between Qt and the window's handlers.  Every handler that a
// widget starts runs through runHandler(): Qt's event delivery must not be
// unwound by an exception.
//
// The program ends inside a handler through Process::end().  The real
// process ends right there; with a process that throws ProgramEnded instead
// (tests, tools), runHandler() catches it and marks the window's program as
// ended (Form_Principal::noteProgramEnded), after which no handler runs and
// the handler that was running underneath stops at its next wait or event
// pass.
#pragma once

#include <functional>

namespace velmira {
class Form_Principal;
}

namespace velmira::qt {

// Runs `handler` unless the program has ended.  A failure no handler trapped
// is shown in the "Error!" box of `form` and the window goes on.
void runHandler(Form_Principal& form, const std::function<void()>& handler);

}  // namespace velmira::qt
