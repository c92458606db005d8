// The border between Qt and the window's handlers.  Every handler that a
// widget starts runs through runHandler(): Qt's event delivery must not be
// unwound by an exception.
//
// The program ends inside a handler through Process::end().  The real
// process ends right there; with a process that throws ProgramEnded instead
// (tests, tools), runHandler() catches it, marks the program as ended and
// calls the end hook, and every event pass of a handler that was running
// underneath throws it again, so the interrupted loop never resumes.
#pragma once

#include <functional>

namespace velmira {
class Form_Principal;
}

namespace velmira::qt {

// Runs `handler`.  A failure no handler trapped is shown in the "Error!" box
// of `form` (when given) and the window goes on.
void runHandler(Form_Principal* form, const std::function<void()>& handler);

bool programEnded();
// Called once when the program ended inside a handler.
void setProgramEndedHook(std::function<void()> hook);
// Marks the program as ended (and calls the hook the first time).
void noteProgramEnded();
// For tests that start a fresh window after one ended.
void resetProgramEnded();

}  // namespace velmira::qt
