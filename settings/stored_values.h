#pragma once

#include <array>

namespace kestrion {

// The values the program keeps under its key (kRegKey), each named once here. Settings files
// and registries written by every earlier version hold them under exactly these names and
// types, so neither ever changes.
enum class StoredType { kText, kInteger };

struct StoredValue {
  const char* name;
  StoredType type;
};

inline constexpr StoredValue kLoginValue{"login", StoredType::kText};
inline constexpr StoredValue kPswdValue{"pswd", StoredType::kText};
inline constexpr StoredValue kTopValue{"Top", StoredType::kInteger};
inline constexpr StoredValue kLeftValue{"Left", StoredType::kInteger};
inline constexpr StoredValue kWidthValue{"Width", StoredType::kInteger};
inline constexpr StoredValue kHeightValue{"Height", StoredType::kInteger};

inline constexpr std::array kStoredValues{kLoginValue, kPswdValue,  kTopValue,
                                          kLeftValue,  kWidthValue, kHeightValue};

}  // namespace kestrion
