#include "settings/form_settings.h"

#include <exception>

#include "shell/shortcut.h"

namespace kestrion {

std::string TrimBlanksAndControls(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool StoreCredentials(const RegistryFactory& registry, const std::string& login_text,
                      const std::string& pswd_text) {
  try {
    const std::unique_ptr<Registry> reg = registry();
    // Whether the key could be opened shows in the first write.
    reg->OpenKey(kRegKey, true);
    reg->WriteString("login", TrimBlanksAndControls(login_text));
    reg->WriteString("pswd", TrimBlanksAndControls(pswd_text));
    reg->CloseKey();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

const std::array<ShortcutBox, 3>& ShortcutBoxes() {
  static const std::array<ShortcutBox, 3> boxes = {{
      {"CheckBoxCreateStartup", "Автозапуск", kCsidlStartup},
      {"CheckBoxCreateDesktop", "Ярлык на Рабочем столе", kCsidlDesktop},
      {"CheckBoxCreateStartmenu", "Ярлык в меню \"Пуск\"", kCsidlPrograms},
  }};
  return boxes;
}

void ApplyShortcutBox(ShortcutShell& shell, int csidl, bool ticked, const std::string& target,
                      const std::string& title) {
  if (ticked) {
    CreateShortcut(shell, csidl, "", target, title);
  } else {
    DeleteShortcut(shell, csidl, title);
  }
}

}  // namespace kestrion
