#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

#include "base/scoped_win.h"
#include "resources/image_list.h"

#include <windows.h>

#include <shellapi.h>  // after <windows.h>, which it needs

namespace kestrion {

// What the shell sends the bar for the mouse over its icon (WM_TRAYICON).
inline constexpr UINT kTrayIconMessage = WM_USER + 1;

// Sent to every top-level window when the shell (and its notification area) starts again.
UINT TaskbarCreatedMessage();

// Each picture of the image list at each size asked for, loaded when first asked for and kept
// to the end: a status that comes back shows the very icon it showed before, and a program
// that runs for weeks holds a handful of icons, never one a poll.
class StatusIcons {
 public:
  HICON Get(Image image, int size);

 private:
  std::map<std::pair<Image, int>, UniqueIcon> icons_;
};

// The bar window's icon in the notification area, as the shell is told of it.
class NotifyIcon {
 public:
  // Where the requests go: Shell_NotifyIconW unless a test says otherwise.
  using NotifyFunction = std::function<BOOL(DWORD message, const NOTIFYICONDATAW& data)>;

  NotifyIcon();
  void SetNotifyFunction(NotifyFunction notify) { notify_ = std::move(notify); }

  // Adds the icon of `window`: the program's own picture and the tip "Kestrion".
  void Add(HWND window);
  // A status's picture and tip, kept for AddAgain. The shell copies the picture.
  void Show(HICON icon, const std::string& tip);
  // The shell started again without it: added back as it last was.
  void AddAgain();
  void Remove();
  bool added() const { return added_; }

 private:
  NOTIFYICONDATAW data_ = {};
  NotifyFunction notify_;
  UniqueIcon main_icon_;  // at the notification area's size
  bool added_ = false;
};

// The notification area's icon size: the system's, whatever monitor the bar is on.
int NotifyIconSize();

}  // namespace kestrion
