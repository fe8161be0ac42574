#include "base/exception_display.h"

#include <exception>

namespace kestrion {

std::string ExceptionDisplayText(const std::string& message) {
  // Any non-ASCII character ends in a byte above '.', in UTF-8 as in Windows-1251.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void RunGuarded(const std::function<void()>& handler,
                const std::function<void(const std::string&)>& show) {
  try {
    handler();
  } catch (const std::exception& e) {
    show(e.what());
  } catch (...) {
    show("");
  }
}

}  // namespace kestrion
