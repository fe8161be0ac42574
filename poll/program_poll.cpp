#include "poll/program_poll.h"

#include "poll/http_get.h"
#include "poll/poll_balance.h"
#include "poll/reply_document.h"
#include "poll/thread_priority.h"

namespace kestrion {

void PollWithSystem(Settings& settings,
                    const std::function<void(const std::string& text, bool ok)>& show_status) {
  PollServices services;
  services.is_internet_connected = IsInternetConnected;
  services.settings = &settings;
  services.http_get = HttpGet;
  services.parse_reply = ParseReplyDocument;
  services.show_status = show_status;
  PollBalance(services);
}

TMainThread* StartPollThread(TMainThread::RunOnUiThread run_on_ui_thread,
                             std::function<void()> poll) {
  TMainThread::Hooks hooks;
  hooks.run_on_ui_thread = std::move(run_on_ui_thread);
  hooks.poll = std::move(poll);
  hooks.lower_priority = LowerCurrentThreadPriority;
  return new TMainThread(std::move(hooks));
}

}  // namespace kestrion
