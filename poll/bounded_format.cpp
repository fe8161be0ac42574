#include "poll/bounded_format.h"

#include <cstdarg>
#include <cstdio>

namespace kestrion {

std::uint32_t BoundedFormat(char* dest, std::size_t capacity, const char* format, ...) {
  constexpr std::size_t kMaxCapacity = 0x7FFFFFFF;
  if (capacity == 0 || capacity > kMaxCapacity) return kFormatInvalidArg;
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(dest, capacity, format, args);
  va_end(args);
  if (written < 0) {
    dest[0] = '\0';
    return kFormatInsufficientBuffer;
  }
  return static_cast<std::size_t>(written) >= capacity ? kFormatInsufficientBuffer : kFormatOk;
}

}  // namespace kestrion
