#pragma once

#include <functional>
#include <string>

#include "poll/poll_thread.h"
#include "settings/settings.h"

namespace kestrion {

using ShowStatusFunction = std::function<void(const Status& status)>;

// One poll of the running program, through the system's connection check, HTTP client and
// XML parser, all on the calling thread; the settings and the way a status is shown are the
// program's own. What kestrion-check runs.
void PollWithSystem(Settings& settings, const ShowStatusFunction& show_status);

// What the desktop program's poll needs of its windows, on the user-interface thread.
struct PollFront {
  std::function<Settings*()> settings;  // nullptr while the windows do not exist
  ShowStatusFunction show_status;
};

// The windows as the poll sees them, through the globals that hold them: none while either
// is missing, before it is made or once the windows are being destroyed at exit (the globals
// are cleared first).
template <class MainForm, class SettingsForm>
PollFront PollFrontOf(MainForm* const& main_form, SettingsForm* const& settings_form) {
  PollFront front;
  front.settings = [&main_form, &settings_form]() -> Settings* {
    if (main_form == nullptr || settings_form == nullptr) return nullptr;
    return &settings_form->settings();
  };
  front.show_status = [&main_form](const Status& status) {
    if (main_form != nullptr) main_form->ShowStatus(status);
  };
  return front;
}

// Starts the desktop program's poll thread at its lowered priority, with an HTTP client of
// its own; the poll's steps on the user-interface thread are queued with `post_to_ui_thread`.
// The thread object lives as long as the process.
TMainThread* StartPollThread(TMainThread::PostToUiThread post_to_ui_thread, PollFront front);

// As the program ends (the message loop has ended, or the session ends): no poll step runs
// on the user-interface thread any more, a request under way is abandoned, and the program
// goes on ending after a short grace for the poll thread to end. True when it ended; false
// when it is still inside the network library, and the process must end without its
// clean-up at exit (EndProcessNow). Called again, it only says so again.
bool EndPollThread(TMainThread* thread);

}  // namespace kestrion
