#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/registry.h"
#include "settings/stored_values.h"
#include "ui/dpi.h"

namespace kestrion {

class ShortcutShell;
class TMainThread;

// The settings dialog's rules that are not window-system calls.

inline constexpr const char* kSaveErrorText = "ошибка сохранения параметров";

// Removes leading and trailing characters with codes 0 to 32 (blanks and control characters).
std::string TrimBlanksAndControls(std::string_view text);

enum class SettingsRole;

// OK's work: writes each stored field's text (StoredFields), trimmed, under the program's
// key, creating it when missing. False when anything failed; a value written before the
// failure stays written.
bool StoreFields(const RegistryFactory& registry,
                 const std::function<std::string(SettingsRole role)>& field_text);

// A control's place in pixels: within the group box, or the group box's own within the
// dialog's client area.
struct ControlPlace {
  int left;
  int top;
  int width;
  int height;
};

// A place of the 96-dpi layout at `dpi`: each edge scaled, so that neighbours stay flush.
inline ControlPlace ScalePlace(const ControlPlace& place, int dpi) {
  const int left = ScaleForDpi(place.left, dpi);
  const int top = ScaleForDpi(place.top, dpi);
  return {left, top, ScaleForDpi(place.left + place.width, dpi) - left,
          ScaleForDpi(place.top + place.height, dpi) - top};
}

// What OK needs of the dialog on its platform.
class SettingsDialogFront {
 public:
  virtual ~SettingsDialogFront() = default;
  // The text in the dialog's field of that role (an edit); "" for any other role.
  virtual std::string FieldText(SettingsRole role) const = 0;
  // kSaveErrorText in a box without icon and with one button; returns once it is dismissed.
  virtual void ShowSaveError() = 0;
  // Ends the dialog's modal showing with OK.
  virtual void CloseWithOk() = 0;
};

// OK: stores the fields (StoreFields), shows the save error when that failed, wakes
// `poll` (when there is one) for a poll with the new settings at once, and closes the dialog.
void ConfirmSettings(SettingsDialogFront& dialog, const RegistryFactory& registry,
                     TMainThread* poll);

// The three shortcut boxes, in the order they are set at start-up.
struct ShortcutBox {
  const char* name;
  const char* caption;
  int csidl;
  ControlPlace place;
};
const std::array<ShortcutBox, 3>& ShortcutBoxes();

// The dialog as both front ends lay it out, in pixels at 96 dpi: caption, place on the screen
// and client area.
inline constexpr const char* kSettingsCaption = "Параметры";
inline constexpr int kSettingsLeft = 395;
inline constexpr int kSettingsTop = 426;
inline constexpr int kSettingsWidth = 455;
inline constexpr int kSettingsHeight = 114;
// The font is the windows' own (ui/forms.h); the group box and all it holds in bold.

enum class SettingsRole {
  kLoginLabel,
  kPswdLabel,
  kLogin,        // a single-line edit
  kPswd,         // a single-line edit showing '*' for every character
  kShortcutBox,  // a check box, one of ShortcutBoxes() in their order
  kOk,           // the default button
  kCancel,
  kBevel,  // only its top line shows, between the fields and the boxes
  kGroupBox,
};

struct SettingsControl {
  SettingsRole role;
  const char* name;
  const char* caption;  // for the edits, the design-time text that FormCreate replaces
  ControlPlace place;
};

// Every control, in tab order where it takes the focus; each label just before the edit it
// names, as Windows names an edit for a screen reader by the text made just before it; the
// group box, which holds them all, comes last, so that it lies beneath them.
const std::vector<SettingsControl>& SettingsControls();

// The dialog laid out for the texts the system draws it with, in pixels at `dpi`.
struct SettingsLayout {
  std::vector<ControlPlace> places;  // SettingsControls()'s, in their order and frames
  int width;                         // the client area's
  int height;
};

// Where the controls go when their texts need more room than the 96-dpi layout gives them
// (another face, another DPI): each control is as wide as designed or as its text needs,
// whichever is more, and moves right by as much as the controls wholly on its left in its row
// (those its height overlaps) have grown and moved; controls designed in line stay in line.
// The group box widens as far as its furthest control has moved out, or to its caption, the
// bevel and the dialog with it. Where every text fits, that is the layout scaled.
// `text_widths`: for each of SettingsControls(), in order, the width in pixels at `dpi` its
// text needs, a check box's box and a button's picture included; 0 for none (edits, bevel).
SettingsLayout LayOutSettings(const std::vector<int>& text_widths, int dpi);

// The fields whose texts are stored, and under which value.
struct StoredField {
  SettingsRole role;
  StoredValue value;
};
const std::array<StoredField, 2>& StoredFields();

// A box's handler, for a click by the user and a tick by the program alike: a ticked box
// writes the shortcut to the program (again), a cleared one deletes it.
void ApplyShortcutBox(ShortcutShell& shell, int csidl, bool ticked, const std::string& target,
                      const std::string& title);

}  // namespace kestrion
