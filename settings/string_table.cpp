#include "settings/string_table.h"

#include "base/text_codec.h"

namespace kestrion {

std::string LoadResourceString(const StringTable& table, unsigned id) {
  // The system reads resources through a buffer of 1024 characters, one kept for the end.
  constexpr std::size_t kMaxChars = 1023;
  return Utf8Prefix(table.Load(id), kMaxChars);
}

}  // namespace kestrion
