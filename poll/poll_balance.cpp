#include "poll/poll_balance.h"

#include <exception>
#include <optional>

namespace kestrion {

namespace {

// Shows a status where nothing may escape: a failure to show it is shown as a data error,
// and a failure to show that is dropped. The poll cycle goes on either way.
void ShowGuarded(const PollServices& services, const Status& status) {
  try {
    services.show_status(status);
    return;
  } catch (...) {
  }
  try {
    services.show_status({kDataErrorText, false});
  } catch (...) {
  }
}

}  // namespace

std::optional<std::string> BeginPoll(const PollServices& services) {
  try {
    if (!services.is_internet_connected()) {
      services.show_status({kNoInternetText, false});
      return std::nullopt;
    }
    if (!services.settings->ReadSettings()) {
      services.show_status({kNoSettingsText, false});
      return std::nullopt;
    }
  } catch (const std::exception& e) {
    // A failure before the request, such as a stored login that is not text: say what it
    // is, so that the user can mend it, and poll again on the next tick.
    try {
      services.show_status({e.what(), false});
    } catch (...) {
    }
    return std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
  // From here on every failure means the same to the subscriber.
  try {
    return services.settings->GetBalanceURL();
  } catch (...) {
    ShowGuarded(services, {kDataErrorText, false});
    return std::nullopt;
  }
}

std::optional<Status> FetchReply(const PollServices& services, const std::string& address) {
  try {
    const std::string body = services.http_get(address);
    const std::unique_ptr<ReplyDocument> doc = services.parse_reply(body);
    return StatusFromReply(*doc);
  } catch (...) {
    // The detail (a library error, a parser message) means nothing to the subscriber.
    return Status{kDataErrorText, false};
  }
}

void EndPoll(const PollServices& services, const std::optional<Status>& status) {
  if (status) ShowGuarded(services, *status);
}

void PollBalance(const PollServices& services) {
  const std::optional<std::string> address = BeginPoll(services);
  if (address) EndPoll(services, FetchReply(services, *address));
}

}  // namespace kestrion
