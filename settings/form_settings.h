#pragma once

#include <array>
#include <string>
#include <string_view>

#include "settings/registry.h"

namespace kestrion {

class ShortcutShell;

// The settings dialog's rules that are not window-system calls.

inline constexpr const char* kSaveErrorText = "ошибка сохранения параметров";

// Removes leading and trailing characters with codes 0 to 32 (blanks and control characters).
std::string TrimBlanksAndControls(std::string_view text);

// OK's work: writes the trimmed login and password as "login" and "pswd" under the program's
// key, creating it when missing. False when anything failed; a value written before the
// failure stays written.
bool StoreCredentials(const RegistryFactory& registry, const std::string& login_text,
                      const std::string& pswd_text);

// The three shortcut boxes, in the order they are set at start-up.
struct ShortcutBox {
  const char* name;
  const char* caption;
  int csidl;
};
const std::array<ShortcutBox, 3>& ShortcutBoxes();

// A box's handler, for a click by the user and a tick by the program alike: a ticked box
// writes the shortcut to the program (again), a cleared one deletes it.
void ApplyShortcutBox(ShortcutShell& shell, int csidl, bool ticked, const std::string& target,
                      const std::string& title);

}  // namespace kestrion
