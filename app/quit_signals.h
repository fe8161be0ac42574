#pragma once

#include <functional>

namespace kestrion {

// Catches the requests to end the process (SIGTERM, SIGINT, SIGHUP) from now on, so that
// one that comes during start-up is kept for the loop instead of killing the program with
// nothing saved. Call it first thing in main.
void CatchQuitSignals();

// Calls `quit` on the user-interface thread for each request caught (also one caught before
// this call, once the loop runs), so that the program ends as "Выход" does: geometry saved,
// icon removed. Call it once, after the application object is made.
void OnQuitSignals(std::function<void()> quit);

}  // namespace kestrion
