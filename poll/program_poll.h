#pragma once

#include <functional>
#include <string>

#include "poll/main_thread.h"
#include "settings/settings.h"

namespace kestrion {

// One poll of the running program, through the system's connection check, HTTP client and
// XML parser; the settings and the way a status is shown are the program's own.
void PollWithSystem(Settings& settings,
                    const std::function<void(const std::string& text, bool ok)>& show_status);

// Starts the program's poll thread at its lowered priority; each poll is handed to the
// user-interface thread with `run_on_ui_thread`. The thread lives as long as the process.
TMainThread* StartPollThread(TMainThread::RunOnUiThread run_on_ui_thread,
                             std::function<void()> poll);

}  // namespace kestrion
