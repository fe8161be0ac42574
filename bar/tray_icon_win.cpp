#include "bar/tray_icon_win.h"

#include <algorithm>
#include <iterator>

#include "base/text_win.h"
#include "ui/application_win.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"

namespace kestrion {

namespace {

constexpr UINT kTrayIconId = 1;

// Copies a tip into the shell's fixed field, always terminated, never ending in the first
// half of a surrogate pair.
void CopyTip(wchar_t (&field)[128], const std::wstring& tip) {
  std::size_t length = std::min(tip.size(), std::size(field) - 1);
  if (length > 0 && length < tip.size() && tip[length - 1] >= 0xD800 && tip[length - 1] < 0xDC00) {
    --length;
  }
  std::fill(std::begin(field), std::end(field), L'\0');
  std::copy_n(tip.begin(), length, field);
}

}  // namespace

HICON StatusIcons::Get(Image image, int size) {
  UniqueIcon& icon = icons_[{image, size}];
  if (icon == nullptr) icon.reset(LoadImageListIcon(image, size));
  return icon.get();
}

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

int NotifyIconSize() { return SystemMetricForDpi(SM_CXSMICON, SystemDpi()); }

NotifyIcon::NotifyIcon()
    : notify_([](DWORD message, const NOTIFYICONDATAW& data) {
        NOTIFYICONDATAW copy = data;  // the shell's declaration takes it writable
        return Shell_NotifyIconW(message, &copy);
      }) {
  data_.cbSize = sizeof data_;
  data_.uID = kTrayIconId;
}

void NotifyIcon::Add(HWND window) {
  data_.hWnd = window;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = kTrayIconMessage;
  const int size = NotifyIconSize();
  main_icon_.reset(static_cast<HICON>(
      LoadImageW(App().instance, L"MAINICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  data_.hIcon = main_icon_ != nullptr ? main_icon_.get() : App().main_icon;
  CopyTip(data_.szTip, Utf8ToWide(kAppTitle));
  notify_(NIM_ADD, data_);
  added_ = true;
}

void NotifyIcon::Show(HICON icon, const std::string& tip) {
  data_.uFlags = NIF_ICON | NIF_TIP;
  data_.hIcon = icon;
  CopyTip(data_.szTip, Utf8ToWide(tip));
  if (added_) notify_(NIM_MODIFY, data_);
}

void NotifyIcon::AddAgain() {
  if (!added_) return;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  notify_(NIM_ADD, data_);
}

void NotifyIcon::Remove() {
  if (!added_) return;
  added_ = false;
  notify_(NIM_DELETE, data_);
}

}  // namespace kestrion
