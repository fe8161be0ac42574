#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/scoped_win.h"
#include "settings/settings.h"
#include "settings_dialog/form_settings.h"
#include "shell/shortcut.h"

namespace kestrion {

// The settings dialog: the login and password, and the three shortcut boxes. It holds the
// program's one settings record from its creation to the end of the program; the poll and
// the statistics command reach the record through it. Created hidden at start-up, shown
// modally by the bar's menu, hidden again (never destroyed) when it closes.
class TFormSettings : private SettingsDialogFront {
 public:
  static constexpr int kModalOk = 1;
  static constexpr int kModalCancel = 2;

  TFormSettings();
  ~TFormSettings() override;
  TFormSettings(const TFormSettings&) = delete;
  TFormSettings& operator=(const TFormSettings&) = delete;

  // Loads the stored settings into the edits and ticks the boxes whose shortcuts exist, which
  // writes those shortcuts again. An error from ReadSettings propagates, and the rest is left
  // out.
  void FormCreate();

  // Shows the dialog with the program's other windows disabled until it is closed: 1 after
  // OK, 2 after Cancel, the close box or Alt+F4.
  int ShowModal();

  Settings& settings() { return settings_; }
  HWND handle() const { return window_; }
  // The DPI the dialog is laid out at: its monitor's.
  int dpi() const { return dpi_; }

  // The controls, for tests.
  HWND GroupBox1 = nullptr;
  HWND eLogin = nullptr;
  HWND ePswd = nullptr;
  std::array<HWND, 3> boxes = {};  // Startup, Desktop, Programs
  HWND BitBtnOk = nullptr;
  HWND BitBtnCancel = nullptr;

  // Control identifiers. OK is the default button; Cancel deliberately does not answer to
  // IDCANCEL, which is what Escape sends.
  static constexpr int kIdOk = IDOK;
  static constexpr int kIdCancel = 1001;
  static constexpr int kIdLogin = 1002;
  static constexpr int kIdPswd = 1003;
  static constexpr int kIdFirstBox = 1004;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  // Every control at its place and in its font at `dpi`, the client area to match; the
  // window's place stays.
  void LayOut(int dpi);
  void CheckBoxClick(std::size_t box);
  void BitBtnOkClick();
  void Close(int result);
  std::string FieldText(SettingsRole role) const override;
  void ShowSaveError() override;
  void CloseWithOk() override { Close(kModalOk); }

  Settings settings_;
  std::unique_ptr<ShortcutShell> shell_;
  UniqueIcon ok_icon_;
  UniqueIcon cancel_icon_;
  std::vector<std::pair<HWND, const SettingsControl*>> controls_;
  HWND window_ = nullptr;
  int dpi_ = kDesignDpi;
  int modal_result_ = 0;  // 0 while shown
};

}  // namespace kestrion
