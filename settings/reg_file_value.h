#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/registry.h"

namespace kestrion {

// One value of the settings file in regedit's syntax, both ways; the file's document
// (settings/reg_file_format.h) is built from these.

// Names compare without regard to ASCII case, as in the registry.
bool EqualsCi(std::string_view a, std::string_view b);
bool StartsWithCi(std::string_view s, std::string_view prefix);
// Without the spaces and tabs around it.
std::string_view TrimBlanks(std::string_view s);

struct ParsedRegValue {
  std::string name;               // "" for the default value, written @
  std::optional<RegValue> value;  // nullopt for "name"=-
  bool legacy_text = false;       // hex(1)/hex(2) of a REGEDIT4 file: 8-bit, to be written anew
};

// The value whose line is lines[first] (a line that starts with '"' or '@', blanks trimmed),
// in a REGEDIT4 file when `regedit4` is set, else in a version 5 one. `last` is set to its
// last line, continuations included, also when the value is not understood.
std::optional<ParsedRegValue> ParseValueLines(const std::vector<std::string>& lines,
                                              std::size_t first, bool regedit4, std::size_t& last);

// The lines of `name`=`value` as regedit writes them, a long hex list going on over lines of at
// most 80 characters.
std::vector<std::string> FormatValueLines(std::string_view name, const RegValue& value);

}  // namespace kestrion
