#include "settings_dialog/form_settings_win.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/text_win.h"
#include "poll/poll_thread.h"
#include "resources/resource_ids.h"
#include "settings/program_registry.h"
#include "settings/string_table.h"
#include "settings_dialog/form_settings.h"
#include "ui/application_win.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"

namespace kestrion {

TFormSettings* FormSettings = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"TFormSettings";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The buttons' pictures at 96 dpi.
constexpr int kButtonImageSize = 16;
// A button's frame and the room inside it on either side of its contents, at 96 dpi; the group
// box's caption stands as far in from its frame.
constexpr int kButtonMargin = 4;

// Everything stands in the group box. The controls are the dialog's own children, placed at
// the group box's offset, so that their notifications reach the dialog and the dialog
// manager's Tab and Enter reach them.
RECT ControlRect(const SettingsLayout& layout, std::size_t control) {
  const ControlPlace& group = layout.places.back();
  const bool in_group = control + 1 < layout.places.size();
  const ControlPlace& place = layout.places[control];
  const int left = (in_group ? group.left : 0) + place.left;
  const int top = (in_group ? group.top : 0) + place.top;
  return {left, top, left + place.width, top + place.height};
}

// The width in pixels `window`'s text needs in `font` at `dpi`, drawn as the system draws its
// controls: a check box's with its box and half a digit's gap after it, a button's with its
// picture and frame, the group box's caption with its indents; 0 for the edits, whose texts
// scroll, and the bevel.
int TextWidth(HWND window, SettingsRole role, HFONT font, int dpi) {
  std::wstring text;
  for (const wchar_t c : WindowText(window)) {
    if (c != L'&') text.push_back(c);  // the accelerator's mark, not shown
  }
  const int text_width = TextExtent(window, font, text).cx;
  const int gap = TextExtent(window, font, L"0").cx / 2;
  switch (role) {
    case SettingsRole::kLoginLabel:
    case SettingsRole::kPswdLabel:
      return text_width;
    case SettingsRole::kShortcutBox:
      // One more pixel on each side for the focus rectangle around the text.
      return SystemMetricForDpi(SM_CXMENUCHECK, dpi) + gap + text_width + 2;
    case SettingsRole::kOk:
    case SettingsRole::kCancel:
      return ScaleForDpi(kButtonImageSize, dpi) + gap + text_width +
             2 * ScaleForDpi(kButtonMargin, dpi);
    case SettingsRole::kGroupBox:
      return text_width + 2 * ScaleForDpi(kButtonMargin, dpi);
    case SettingsRole::kLogin:
    case SettingsRole::kPswd:
    case SettingsRole::kBevel:
      return 0;
  }
  return 0;
}

HWND AddControl(HWND dialog, const wchar_t* window_class, const SettingsControl& control,
                DWORD style, DWORD ex_style, int id) {
  HWND window = CreateWindowExW(
      ex_style, window_class, Utf8ToWide(control.caption).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
      0, 0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), App().instance, nullptr);
  KeepOwnControlLayout(window);
  return window;
}

// An in-memory dialog template without controls: style, class and caption.
std::vector<WORD> DialogTemplate(DWORD style, const wchar_t* window_class, const wchar_t* caption) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 1, 0);  // then "no menu"
  DLGTEMPLATE header = {};
  header.style = style;
  std::memcpy(words.data(), &header, sizeof header);
  for (const wchar_t* text : {window_class, caption}) {
    for (const wchar_t* c = text; *c != L'\0'; ++c) words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
  }
  return words;
}

bool IsTicked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

}  // namespace

TFormSettings::TFormSettings()
    : settings_(OpenProgramRegistry, ProgramStringTable()), shell_(MakeProgramShortcutShell("")) {
  // A dialog of the program's own class: the dialog manager keeps the default button, the
  // focus and Tab as a dialog does, and the class name says which form it is.
  RegisterFormClass(kClassName, DefDlgProcW, DLGWINDOWEXTRA);

  const std::vector<WORD> dialog_template =
      DialogTemplate(kStyle, kClassName, Utf8ToWide(kSettingsCaption).c_str());
  CreateDialogIndirectParamW(
      App().instance, reinterpret_cast<const DLGTEMPLATE*>(dialog_template.data()), App().window,
      &TFormSettings::DialogProc, reinterpret_cast<LPARAM>(this));
  // The template knows dialog units only; the dialog is laid out in pixels, by the table.
  KeepOwnDialogLayout(window_);
  // Where designed, on the primary monitor, whose DPI is the system's.
  const int dpi = SystemDpi();
  SetWindowPos(window_, nullptr, ScaleForDpi(kSettingsLeft, dpi), ScaleForDpi(kSettingsTop, dpi), 0,
               0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  CreateControls();
  LayOut(WindowDpi(window_));
  // Larger than designed (a high DPI on a small screen) it would stand partly off its
  // monitor, its boxes or buttons out of reach: it is moved as little as needed onto the
  // work area.
  RECT outer = {};
  GetWindowRect(window_, &outer);
  const RECT work = MonitorWorkArea(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST));
  const int left =
      KeepOnWorkArea(outer.left, outer.right - outer.left, work.left, work.right - work.left);
  const int top =
      KeepOnWorkArea(outer.top, outer.bottom - outer.top, work.top, work.bottom - work.top);
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormSettings::LayOut(int dpi) {
  dpi_ = dpi;
  // The group box and all it holds: "MS Sans Serif" 8 points bold, which at another DPI, or
  // where another face stands in for it, may need more room than the places give.
  const HFONT font = SansSerifFont(true, dpi);
  std::vector<int> text_widths;
  for (const auto& [window, control] : controls_) {
    text_widths.push_back(TextWidth(window, control->role, font, dpi));
  }
  const SettingsLayout layout = LayOutSettings(text_widths, dpi);
  RECT outer = {0, 0, layout.width, layout.height};
  AdjustWindowRectForDpi(outer, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)),
                         static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)), dpi);
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const HWND window = controls_[i].first;
    const RECT r = ControlRect(layout, i);
    SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  const int image_size = ScaleForDpi(kButtonImageSize, dpi);
  UniqueIcon ok_icon(LoadResourceIcon(IDI_BUTTON_OK, image_size));
  UniqueIcon cancel_icon(LoadResourceIcon(IDI_BUTTON_CANCEL, image_size));
  SendMessageW(BitBtnOk, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(ok_icon.get()));
  SendMessageW(BitBtnCancel, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(cancel_icon.get()));
  // The buttons no longer show the previous ones.
  ok_icon_ = std::move(ok_icon);
  cancel_icon_ = std::move(cancel_icon);
}

TFormSettings::~TFormSettings() {
  // The window goes before the button images it shows.
  if (window_ != nullptr) DestroyWindow(window_);
}

void TFormSettings::CreateControls() {
  // Created in the table's order: the dialog manager walks the controls in creation order
  // for Tab, and a screen reader names an edit by the static text made just before it.
  std::size_t box = 0;
  for (const SettingsControl& control : SettingsControls()) {
    HWND window = nullptr;
    switch (control.role) {
      case SettingsRole::kLoginLabel:
      case SettingsRole::kPswdLabel:
        window = AddControl(window_, L"STATIC", control, SS_LEFT, 0, -1);
        break;
      case SettingsRole::kLogin:
        window = eLogin =
            AddControl(window_, L"EDIT", control, WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL,
                       WS_EX_CLIENTEDGE, kIdLogin);
        break;
      case SettingsRole::kPswd:
        window = ePswd =
            AddControl(window_, L"EDIT", control, WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD,
                       WS_EX_CLIENTEDGE, kIdPswd);
        // Common controls 6 would show a dot.
        SendMessageW(ePswd, EM_SETPASSWORDCHAR, L'*', 0);
        break;
      case SettingsRole::kShortcutBox:
        window = boxes.at(box) =
            AddControl(window_, L"BUTTON", control, WS_TABSTOP | BS_AUTOCHECKBOX, 0,
                       kIdFirstBox + static_cast<int>(box));
        ++box;
        break;
      case SettingsRole::kOk:
        window = BitBtnOk =
            AddControl(window_, L"BUTTON", control, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kIdOk);
        break;
      case SettingsRole::kCancel:
        window = BitBtnCancel =
            AddControl(window_, L"BUTTON", control, WS_TABSTOP | BS_PUSHBUTTON, 0, kIdCancel);
        break;
      case SettingsRole::kBevel:
        // The bevel's top line, which is all of it that shows.
        window = AddControl(window_, L"STATIC", control, SS_ETCHEDHORZ, 0, -1);
        break;
      case SettingsRole::kGroupBox:
        window = GroupBox1 =
            AddControl(window_, L"BUTTON", control, BS_GROUPBOX | WS_CLIPSIBLINGS, 0, -1);
        break;
    }
    controls_.emplace_back(window, &control);
  }
  SendMessageW(window_, DM_SETDEFID, kIdOk, 0);
}

void TFormSettings::FormCreate() {
  settings_.ReadSettings();
  SetWindowTextW(eLogin, Utf8ToWide(settings_.record().Login).c_str());
  SetWindowTextW(ePswd, Utf8ToWide(settings_.record().Pswd).c_str());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const bool exists = ShortcutExists(*shell_, ShortcutBoxes()[i].csidl, kAppTitle);
    // Ticked by the program as by the user, the handler runs when the state changes; the
    // box sends no notification for a tick by message, so it is called here.
    if (exists == IsTicked(boxes[i])) continue;
    SendMessageW(boxes[i], BM_SETCHECK, exists ? BST_CHECKED : BST_UNCHECKED, 0);
    CheckBoxClick(i);
  }
}

int TFormSettings::ShowModal() {
  if (IsWindowVisible(window_)) {
    // Shown already (the menu can be reached through the tray icon): no second showing.
    SetForegroundWindow(window_);
    return kModalCancel;
  }
  modal_result_ = 0;
  ShowModalWindow(window_, [this] { return modal_result_ != 0; });
  return modal_result_ != 0 ? modal_result_ : kModalCancel;
}

void TFormSettings::CheckBoxClick(std::size_t box) {
  ApplyShortcutBox(*shell_, ShortcutBoxes()[box].csidl, IsTicked(boxes[box]),
                   WideToUtf8(App().exe_path), kAppTitle);
}

void TFormSettings::BitBtnOkClick() { ConfirmSettings(*this, OpenProgramRegistry, MainThread); }

std::string TFormSettings::FieldText(SettingsRole role) const {
  switch (role) {
    case SettingsRole::kLogin:
      return WindowTextUtf8(eLogin);
    case SettingsRole::kPswd:
      return WindowTextUtf8(ePswd);
    default:
      return {};
  }
}

void TFormSettings::ShowSaveError() {
  // The dialog waits for it.
  MessageBoxW(window_, Utf8ToWide(kSaveErrorText).c_str(), App().title.c_str(), MB_OK);
}

void TFormSettings::Close(int result) { modal_result_ = result; }

INT_PTR CALLBACK TFormSettings::DialogProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TFormSettings*>(lparam);
    self->window_ = window;
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    // The controls come after; the first showing gives the focus to the first of them.
    return FALSE;
  }
  auto* self = reinterpret_cast<TFormSettings*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  bool handled = false;
  RunGuarded([&] { handled = self->HandleMessage(message, wparam, lparam); });
  return handled ? TRUE : FALSE;
}

bool TFormSettings::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DPICHANGED: {
      // Moved onto a monitor of another DPI: laid out again from the table there.
      LayOut(DpiOfDpiChanged(wparam));
      const RECT& suggested = RectOfDpiChanged(lparam);
      SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return true;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const bool clicked = HIWORD(wparam) == BN_CLICKED;
      if (id == kIdOk && clicked) BitBtnOkClick();
      if (id == kIdCancel && clicked) Close(kModalCancel);
      if (clicked && id >= kIdFirstBox && id < kIdFirstBox + static_cast<int>(boxes.size())) {
        CheckBoxClick(static_cast<std::size_t>(id - kIdFirstBox));
      }
      // IDCANCEL, which Escape sends, is bound to nothing.
      return true;
    }
    case WM_CLOSE:
      // The close box and Alt+F4; a dialog would turn this into IDCANCEL.
      Close(kModalCancel);
      return true;
    default:
      return false;
  }
}

}  // namespace kestrion
