#pragma once

#include <string>

namespace kestrion {

inline constexpr unsigned kBalanceUrlId = 1;
inline constexpr unsigned kStatUrlId = 2;
inline constexpr unsigned kModuleIdId = 3;

// The program's string table. Load returns "" for a resource that is not there.
class StringTable {
 public:
  virtual ~StringTable() = default;
  virtual std::string Load(unsigned id) const = 0;
};

// A resource as the program sees it: at most 1023 characters, as through a 1024-character
// buffer.
std::string LoadResourceString(const StringTable& table, unsigned id);

// The table built into this program (resources 1-3 from the build's options).
const StringTable& ProgramStringTable();

}  // namespace kestrion
