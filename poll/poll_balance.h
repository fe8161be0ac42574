#pragma once

#include <functional>
#include <optional>
#include <string>

#include "poll/reply_status.h"
#include "settings/settings.h"

namespace kestrion {

inline constexpr const char* kNoInternetText = "Интернет отсутствует";
inline constexpr const char* kNoSettingsText = "Не введены данные";
inline constexpr const char* kDataErrorText = "Ошибка в данных или сервер недоступен";

// What one poll needs from the program around it.
struct PollServices {
  std::function<bool()> is_internet_connected;
  Settings* settings = nullptr;
  // Fetches an address (Windows-1251 bytes) and returns the reply body; raises on failure.
  std::function<std::string(const std::string& address)> http_get;
  ReplyParser parse_reply;
  // Shows a status: the bar, its icon and the tip, or the console command's output.
  std::function<void(const Status& status)> show_status;
};

// A poll in three steps, so that the user-interface thread never waits on the network:
//
// BeginPoll, on the user-interface thread: the connection check, the settings and the
// balance address. When the poll ends there it shows its status itself and returns nothing;
// otherwise it returns the address to fetch.
std::optional<std::string> BeginPoll(const PollServices& services);

// FetchReply, on the poll thread: the request and reading the reply, into the status the
// reply asks for (nullopt: none). A failed request or an unreadable reply is kDataErrorText.
// Uses only http_get and parse_reply; never raises.
std::optional<Status> FetchReply(const PollServices& services, const std::string& address);

// EndPoll, on the user-interface thread: shows that status, if any.
void EndPoll(const PollServices& services, const std::optional<Status>& status);

// The three steps in a row, on one thread, ending in at most one ShowStatus; no failure
// leaves it, so the poll cycle always goes on. What kestrion-check runs.
void PollBalance(const PollServices& services);

}  // namespace kestrion
