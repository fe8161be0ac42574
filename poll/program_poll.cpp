#include "poll/program_poll.h"

#include <memory>

#include "poll/connection_check.h"
#include "poll/http_get.h"
#include "poll/poll_balance.h"
#include "poll/reply_document.h"
#include "poll/thread_priority.h"

namespace kestrion {

namespace {

PollServices SystemServices(Settings* settings, ShowStatusFunction show_status,
                            std::function<std::string(const std::string&)> http_get) {
  PollServices services;
  services.is_internet_connected = IsInternetConnected;
  services.settings = settings;
  services.http_get = std::move(http_get);
  services.parse_reply = ParseReplyDocument;
  services.show_status = std::move(show_status);
  return services;
}

}  // namespace

void PollWithSystem(Settings& settings, const ShowStatusFunction& show_status) {
  PollBalance(SystemServices(&settings, show_status, HttpGet));
}

TMainThread* StartPollThread(TMainThread::PostToUiThread post_to_ui_thread, PollFront front) {
  // Used on the poll thread only, but for Cancel; as long-lived as the thread.
  auto client = std::make_shared<HttpClient>();
  auto services = [front, client](Settings* settings) {
    return SystemServices(settings, front.show_status,
                          [client](const std::string& address) { return client->Get(address); });
  };
  TMainThread::Hooks hooks;
  hooks.post_to_ui_thread = std::move(post_to_ui_thread);
  hooks.begin = [front, services]() -> std::optional<std::string> {
    Settings* settings = front.settings();
    if (settings == nullptr) return std::nullopt;
    return BeginPoll(services(settings));
  };
  hooks.fetch = [services](const std::string& address) {
    return FetchReply(services(nullptr), address);
  };
  hooks.end = [services](const std::optional<Status>& status) {
    EndPoll(services(nullptr), status);
  };
  hooks.cancel = [client] { client->Cancel(); };
  hooks.lower_priority = LowerCurrentThreadPriority;
  return new TMainThread(std::move(hooks));
}

bool EndPollThread(TMainThread* thread) {
  return thread == nullptr || thread->Terminate(std::chrono::milliseconds(300));
}

}  // namespace kestrion
