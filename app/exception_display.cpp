#include "app/exception_display.h"

namespace kestrion {

std::string ExceptionDisplayText(const std::string& message) {
  // Any non-ASCII character ends in a byte above '.', in UTF-8 as in Windows-1251.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace kestrion
