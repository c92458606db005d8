#include "qt/handler_call.h"

#include <exception>
#include <string>

#include "app/form_principal.h"

namespace velmira::qt {

void runHandler(Form_Principal& form, const std::function<void()>& handler) {
  if (form.programEnded()) return;  // nothing runs after the end
  try {
    handler();
  } catch (const ProgramEnded&) {
    form.noteProgramEnded();
  } catch (const std::exception& e) {
    // A condition the handler does not test (a text that is no number, a
    // division by zero ...).  The window stays usable; the user is told.
    try {
      form.MsgBoxError(e.what());
    } catch (const ProgramEnded&) {
      form.noteProgramEnded();
    }
  }
}

}  // namespace velmira::qt
