#include "poll/poll_balance.h"

#include <exception>
#include <optional>

namespace kestrion {

namespace {

// The guarded part of a poll: from building the address to showing the status.
void FetchAndShow(const PollServices& services) {
  const std::string address = services.settings->GetBalanceURL();
  const std::string body = services.http_get(address);
  const std::unique_ptr<ReplyDocument> doc = services.parse_reply(body);
  const std::optional<Status> status = StatusFromReply(*doc);
  if (status) services.show_status(status->text, status->ok);
}

}  // namespace

void PollBalance(const PollServices& services) {
  try {
    if (!services.is_internet_connected()) {
      services.show_status(kNoInternetText, false);
      return;
    }
    if (!services.settings->ReadSettings()) {
      services.show_status(kNoSettingsText, false);
      return;
    }
    try {
      FetchAndShow(services);
    } catch (...) {
      // The detail (a library error, a parser message) means nothing to the subscriber.
      services.show_status(kDataErrorText, false);
    }
  } catch (const std::exception& e) {
    // A failure before the request, such as a stored login that is not text: say what it
    // is, so that the user can mend it, and poll again on the next tick.
    try {
      services.show_status(e.what(), false);
    } catch (...) {
    }
  } catch (...) {
  }
}

}  // namespace kestrion
