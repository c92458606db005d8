// The window program: the display opened, the main window run to its end.
#pragma once

namespace velmira::qt {

// Opens the window system (Qt takes its own options out of argv), builds the
// main window over the machine's platform, runs its load handler and the
// event loop.  Without a display that can be opened it says so in one line
// on the error output and returns 1.
int runWindow(int& argc, char** argv);

}  // namespace velmira::qt
