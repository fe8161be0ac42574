#pragma once

#include <functional>
#include <string>

#include "poll/reply.h"
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
  std::function<void(const std::string& text, bool ok)> show_status;
};

// One poll, on the user-interface thread: the connection check, the settings, the request and
// the reply, ending in at most one ShowStatus. A failed request or an unreadable reply shows
// kDataErrorText; no failure leaves this function, so the poll cycle always goes on.
void PollBalance(const PollServices& services);

}  // namespace kestrion
