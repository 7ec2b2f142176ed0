// Start-up of the window: checks that a display is there, then shows MainWindow and runs the event loop
// until the window has been closed and the runs in progress have stopped.
//   return RunWindow(settings);   // 0 after the window is closed, 255 without a display
#pragma once

#include "app/command_line.h"

namespace qh {

// Returns the process exit code after showing the window for `settings`.
int RunWindow(const Settings& settings);

}  // namespace qh
