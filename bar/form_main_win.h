#pragma once

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "bar/form_main.h"
#include "bar/status.h"
#include "bar/tray_icon_win.h"
#include "base/scoped_win.h"
#include "poll/reply_status.h"
#include "settings/program_registry.h"

#include <windows.h>

namespace kestrion {

// A window's rectangle as the portable rules take it.
inline BarRect BarRectOf(const RECT& r) {
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The bar: a captionless, always-on-top tool window with a sizing frame, the status text in
// the middle, its popup menu and the notification-area icon.
class TFormMain : private BarFront {
 public:
  TFormMain();   // registers the classes, creates the bar window (hidden) and its label
  ~TFormMain();  // FormDestroy: removes the icon, saves the geometry, destroys the window
  TFormMain(const TFormMain&) = delete;
  TFormMain& operator=(const TFormMain&) = delete;

  // FormCreate: adds the icon, restores the geometry and starts the poll thread.
  void FormCreate();
  void AddTrayIcon();
  // The stored geometry, then onto the primary screen's work area if no screen would show it.
  void RestoreGeometry();
  // When the screens change while the bar stands: moved, its size kept, only when the screens
  // no longer show it whole. The new place is not stored; the exit stores it.
  void KeepWhole();
  void ShowStatus(const Status& status);
  void Show();  // shows the bar and brings it to the front
  void Hide();

  HWND handle() const { return window_; }
  HWND label() const { return label_; }
  // The DPI the bar is drawn at: its monitor's.
  int dpi() const { return dpi_; }
  HMENU menu() const { return menu_.get(); }
  BarRect Bounds() const override;  // the outer rectangle, in screen coordinates
  void SetBounds(const BarRect& bar);

  // Where the notification-area requests go (Shell_NotifyIconW unless a test says otherwise).
  void SetNotifyFunction(NotifyIcon::NotifyFunction notify);

  // Menu item i answers to the command kFirstCommand + i.
  static constexpr UINT kFirstCommand = 100;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleLabelMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void BuildMenu();
  // The menu's pictures at the size `dpi` needs, made again when it differs from the last.
  void PrepareMenuPictures(int dpi);
  // WM_DPICHANGED: the bar moves to `suggested` (unless the program is placing it itself)
  // and draws its text and icons at the new DPI.
  void DpiChanged(int dpi, const RECT& suggested);
  // The latest status's image as the bar's icons, at the sizes of its DPI.
  void SetWindowIcons();
  // Moves and sizes the bar itself; a change of monitor on the way changes only the DPI.
  void PlaceWindow(int left, int top, int width, int height,
                   UINT flags);  // The menu asks the bar for its items' pictures (drawn here,
                                 // transparent on any theme);
  // false for what is no item of the bar's menu.
  bool MeasureMenuPicture(MEASUREITEMSTRUCT& item) const;
  bool DrawMenuItemPicture(const DRAWITEMSTRUCT& item) const;
  // At the pointer, or from the keyboard at the bar (BarMenuPlace).
  void PopupMenu(bool from_keyboard);
  // A second start: the bar shown in front with the status focused, so that a screen reader
  // reads it out.
  void BringIntoView();
  void Command(int index);
  void UpdateVisibilityItems(bool visible);
  // What the menu's commands do here.
  void HideBar() override { Hide(); }
  void ShowBar() override { Show(); }
  const Settings& HeldSettings() override;
  void OpenAddress(const std::string& address) override;
  void ShowDialog(BarDialog dialog) override;
  void PlaceBar(const BarRect& bar) override;
  void CloseBar() override;
  void TrayIconMessage(LPARAM lparam);
  void RemoveTrayIcon();
  void FormDestroy();
  void PaintLabel(HDC dc);
  void LabelMainMouseDown(int x, int y);
  void LabelMainMouseMove(int x, int y);
  void LabelMainMouseUp();
  void LabelMainDblClick();
  void Timer1Timer();

  HWND window_ = nullptr;
  HWND label_ = nullptr;
  UniqueMenu menu_;
  struct MenuPictures {
    UniqueBitmap shown;
    UniqueBitmap greyed;  // while the item is disabled
  };
  std::vector<MenuPictures> menu_pictures_;  // by item position; none for a separator
  int menu_dpi_ = 0;                         // the DPI of menu_pictures_
  std::optional<Image> status_image_;        // the latest status's, none before the first
  ShownStatus shown_;
  StatusIcons icons_;  // the bar's and the tray's, at every size in use
  int dpi_ = kDesignDpi;
  bool placing_ = false;  // the program moves or sizes the bar itself
  COLORREF text_colour_ = 0;
  BarDrag drag_;
  StoredBarPlace place_{OpenProgramRegistry};
  NotifyIcon tray_;
  bool destroyed_ = false;  // FormDestroy has run
};

}  // namespace kestrion
