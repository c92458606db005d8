// Qt's own texts in Spanish, as the rest of the window: the fields' context
// menus, the standard buttons of the boxes.  Debian's qt6-translations-l10n
// ships them; without it they stay in English.
#pragma once

namespace velmira::qt {

// Installs Qt's Spanish texts in the application; false when they are not
// installed on this machine.
bool installSpanishQtTexts();

}  // namespace velmira::qt
