#include "settings_dialog/form_settings.h"

#include <algorithm>
#include <exception>

#include "poll/poll_thread.h"
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

bool StoreFields(const RegistryFactory& registry,
                 const std::function<std::string(SettingsRole role)>& field_text) {
  try {
    const std::unique_ptr<Registry> reg = registry();
    // Whether the key could be opened shows in the first write.
    reg->OpenKey(kRegKey, true);
    for (const StoredField& field : StoredFields()) {
      reg->WriteString(field.value.name, TrimBlanksAndControls(field_text(field.role)));
    }
    reg->CloseKey();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void ConfirmSettings(SettingsDialogFront& dialog, const RegistryFactory& registry,
                     TMainThread* poll) {
  const auto field_text = [&dialog](SettingsRole role) { return dialog.FieldText(role); };
  if (!StoreFields(registry, field_text)) dialog.ShowSaveError();
  if (poll != nullptr) poll->ResumeForNewSettings();
  dialog.CloseWithOk();
}

const std::array<StoredField, 2>& StoredFields() {
  static const std::array<StoredField, 2> fields = {{
      {SettingsRole::kLogin, kLoginValue},
      {SettingsRole::kPswd, kPswdValue},
  }};
  return fields;
}

const std::array<ShortcutBox, 3>& ShortcutBoxes() {
  static const std::array<ShortcutBox, 3> boxes = {{
      {"CheckBoxCreateStartup", "Автозапуск", kCsidlStartup, {8, 88, 97, 16}},
      {"CheckBoxCreateDesktop", "Ярлык на Рабочем столе", kCsidlDesktop, {105, 88, 177, 16}},
      {"CheckBoxCreateStartmenu", "Ярлык в меню \"Пуск\"", kCsidlPrograms, {288, 88, 153, 16}},
  }};
  return boxes;
}

const std::vector<SettingsControl>& SettingsControls() {
  static const std::vector<SettingsControl> controls = [] {
    std::vector<SettingsControl> all = {
        {SettingsRole::kLoginLabel, "Label2", "PIN1", {8, 24, 29, 13}},
        {SettingsRole::kLogin, "eLogin", "1", {63, 20, 200, 21}},
        {SettingsRole::kPswdLabel, "Label3", "PIN2", {8, 48, 29, 13}},
        {SettingsRole::kPswd, "ePswd", "123", {63, 45, 200, 21}},
    };
    for (const ShortcutBox& box : ShortcutBoxes()) {
      all.push_back({SettingsRole::kShortcutBox, box.name, box.caption, box.place});
    }
    all.insert(all.end(), {
                              {SettingsRole::kOk, "BitBtnOk", "OK", {362, 18, 79, 25}},
                              {SettingsRole::kCancel, "BitBtnCancel", "&Отмена", {362, 48, 79, 25}},
                              {SettingsRole::kBevel, "Bevel1", "", {7, 79, 434, 2}},
                              {SettingsRole::kGroupBox, "GroupBox1", "Параметры", {3, 0, 449, 111}},
                          });
    return all;
  }();
  return controls;
}

SettingsLayout LayOutSettings(const std::vector<int>& text_widths, int dpi) {
  const std::vector<SettingsControl>& controls = SettingsControls();
  SettingsLayout layout{{}, ScaleForDpi(kSettingsWidth, dpi), ScaleForDpi(kSettingsHeight, dpi)};
  for (const SettingsControl& control : controls) {
    layout.places.push_back(ScalePlace(control.place, dpi));
  }
  const std::vector<ControlPlace> designed = layout.places;
  const auto right = [](const ControlPlace& place) { return place.left + place.width; };
  const auto needed = [&text_widths](std::size_t i) {
    return i < text_widths.size() ? text_widths[i] : 0;
  };

  // Left to right, a column (the controls of one designed left edge) at a time, so that
  // whatever pushes a control has moved already.
  std::size_t group = 0;
  std::size_t bevel = 0;
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].role == SettingsRole::kGroupBox) {
      group = i;
    } else if (controls[i].role == SettingsRole::kBevel) {
      bevel = i;  // it spans the group box: it widens with it, below
    } else {
      order.push_back(i);
    }
  }
  std::stable_sort(order.begin(), order.end(), [&designed](std::size_t a, std::size_t b) {
    return designed[a].left < designed[b].left;
  });
  int furthest_designed = 0;
  int furthest = 0;
  for (std::size_t first = 0; first < order.size();) {
    std::size_t end = first;
    int shift = 0;
    for (; end < order.size() && designed[order[end]].left == designed[order[first]].left; ++end) {
      const ControlPlace& place = designed[order[end]];
      for (std::size_t k = 0; k < first; ++k) {
        const ControlPlace& before = designed[order[k]];
        const bool in_row =
            before.top < place.top + place.height && place.top < before.top + before.height;
        if (in_row && right(before) <= place.left) {
          shift = std::max(shift, right(layout.places[order[k]]) - right(before));
        }
      }
    }
    for (; first < end; ++first) {
      ControlPlace& place = layout.places[order[first]];
      furthest_designed = std::max(furthest_designed, right(place));
      place.left += shift;
      place.width = std::max(place.width, needed(order[first]));
      furthest = std::max(furthest, right(place));
    }
  }

  const int widened = std::max(furthest - furthest_designed, needed(group) - designed[group].width);
  if (widened > 0) {
    layout.places[group].width += widened;
    layout.places[bevel].width += widened;
    layout.width += widened;
  }
  return layout;
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
