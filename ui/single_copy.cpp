#include "ui/single_copy.h"

#include <cctype>

namespace kestrion {

bool TakeSessionCopy(SessionCopy& copy, const std::function<void()>& pause, int attempts) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (copy.Claim()) return true;
    if (copy.AskRunningCopy()) return false;
    pause();
  }
  return false;
}

std::string SessionCopyName(std::string_view display) {
  std::string key(display);
  // [host]:number[.screen]: the screen is left out, and a local host is no host.
  if (const auto colon = display.rfind(':'); colon != std::string_view::npos) {
    std::string_view host = display.substr(0, colon);
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (host == "unix" || host == "localhost") host = {};
    key = host.empty() ? std::string(number) : std::string(host) + '_' + std::string(number);
  }
  if (key.empty()) key = "none";
  for (char& c : key) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return std::string(kAppId) + ".Display_" + key;
}

}  // namespace kestrion
