#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "bar/form_main.h"
#include "base/scoped_win.h"
#include "poll/reply_status.h"
#include "settings/program_registry.h"

#include <windows.h>

#include <shellapi.h>  // after <windows.h>, which it needs

namespace kestrion {

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
  // The same rule when the screens change while the bar stands: moved, its size kept, only
  // when no screen would show it now. The new place is not stored; the exit stores it.
  void KeepReachable();
  void ShowStatus(const Status& status);
  void Show();  // shows the bar and brings it to the front
  void Hide();

  HWND handle() const { return window_; }
  HWND label() const { return label_; }
  HMENU menu() const { return menu_.get(); }
  BarRect Bounds() const override;  // the outer rectangle, in screen coordinates
  void SetBounds(const BarRect& bar);

  // Where the notification-area requests go (Shell_NotifyIconW unless a test says otherwise).
  using NotifyFunction = std::function<BOOL(DWORD message, const NOTIFYICONDATAW& data)>;
  void SetNotifyFunction(NotifyFunction notify);

  // Menu item i answers to the command kFirstCommand + i.
  static constexpr UINT kFirstCommand = 100;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleLabelMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void BuildMenu();
  // The menu asks the bar for its items' pictures (drawn here, transparent on any theme);
  // false for what is no item of the bar's menu.
  bool MeasureMenuPicture(MEASUREITEMSTRUCT& item) const;
  bool DrawMenuItemPicture(const DRAWITEMSTRUCT& item) const;
  void PopupMenuAtPointer();
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
  UniqueIcon small_icon_;  // the latest status's image, the bar's and the tray's icon
  UniqueIcon big_icon_;
  COLORREF text_colour_ = 0;
  BarDrag drag_;
  StoredBarPlace place_{OpenProgramRegistry};
  NOTIFYICONDATAW tray_data_ = {};
  NotifyFunction notify_;
  bool tray_added_ = false;
  bool destroyed_ = false;  // FormDestroy has run
};

}  // namespace kestrion
