#pragma once

#include <functional>

namespace kestrion {

// Calls `quit` on the user-interface thread when the process is asked to end (SIGTERM,
// SIGINT, SIGHUP), so that it ends as "Выход" does: geometry saved, icon removed. Call it
// once, after the application object is made.
void OnQuitSignals(std::function<void()> quit);

}  // namespace kestrion
