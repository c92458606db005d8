#include "qt/handler_call.h"

#include <exception>
#include <string>

#include "app/form_principal.h"

namespace velmira::qt {
namespace {

bool ended = false;
std::function<void()>& hook() {
  static std::function<void()> h;
  return h;
}

}  // namespace

bool programEnded() { return ended; }
void setProgramEndedHook(std::function<void()> h) { hook() = std::move(h); }
void resetProgramEnded() { ended = false; }

void noteProgramEnded() {
  if (ended) return;
  ended = true;
  if (hook()) hook()();
}

void runHandler(Form_Principal* form, const std::function<void()>& handler) {
  if (ended) return;  // nothing runs after the end
  try {
    handler();
  } catch (const ProgramEnded&) {
    noteProgramEnded();
  } catch (const std::exception& e) {
    // A condition the handler does not test (a text that is no number, a
    // division by zero ...).  The window stays usable; the user is told.
    if (!form) return;
    try {
      form->MsgBoxError(e.what());
    } catch (const ProgramEnded&) {
      noteProgramEnded();
    }
  }
}

}  // namespace velmira::qt
