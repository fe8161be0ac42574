#pragma once

// What the window tests share: reading windows back through Win32, and driving a modal
// showing from a timer while its loop runs.

#include <windows.h>

#include <oleacc.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrion::test {

// The display's DPI as the run sets it (tests/app/dpi_win_test.sh runs the cases that ask at
// 120, 144 and 192 dpi); 96 in every other run.
inline int DisplayDpi() {
  const char* dpi = std::getenv("KESTRION_TEST_DPI");
  return dpi != nullptr ? std::atoi(dpi) : 96;
}

// What `draw` paints into a black 32-bit bitmap of width × height, as 0x00RRGGBB pixels.
inline std::vector<std::uint32_t> DrawnPixels(int width, int height,
                                              const std::function<void(HDC)>& draw) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  draw(dc);
  GdiFlush();
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> out(pixels, pixels + width * height);
  for (auto& p : out) p &= 0xFFFFFF;
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return out;
}

inline std::wstring Text(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// What a screen reader calls a window: the name Active Accessibility gives its client area.
inline std::wstring AccessibleName(HWND window) {
  // IID_IAccessible: the 64-bit import library's symbol is a thunk, not the GUID.
  static const IID kIAccessible = {
      0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  IAccessible* accessible = nullptr;
  VARIANT self = {};  // CHILDID_SELF
  self.vt = VT_I4;
  BSTR name = nullptr;
  if (SUCCEEDED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIAccessible,
                                           reinterpret_cast<void**>(&accessible)))) {
    accessible->get_accName(self, &name);
    accessible->Release();
  }
  std::wstring result = name != nullptr ? std::wstring(name, SysStringLen(name)) : L"(none)";
  SysFreeString(name);
  return result;
}

inline std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// A window's rectangle in the client coordinates of `in`.
inline RECT PlaceIn(HWND window, HWND in) {
  RECT place = {};
  GetWindowRect(window, &place);
  MapWindowPoints(HWND_DESKTOP, in, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

inline LOGFONTW FontOf(HWND window) {
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

// The message box's icon, wherever the system keeps it.
inline bool ShowsAnIcon(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == L"Static" &&
        (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0) {
      return true;
    }
  }
  return false;
}

// A message box this thread shows, or nullptr.
inline HWND MessageBoxOfThisThread() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM result) CALLBACK -> BOOL {
        if (ClassOf(window) != L"#32770" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Runs `steps` one per 30 ms timer tick while a modal loop turns; when they are done and the
// window is still up 3 s later, closes it and says so, so a test never hangs.
class ModalScript {
 public:
  ModalScript(HWND box, std::vector<std::function<void()>> steps)
      : box_(box), steps_(std::move(steps)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 30, &ModalScript::Tick);
  }
  ~ModalScript() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  bool timed_out() const { return timed_out_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalScript* self = current_;
    if (self == nullptr) return;
    if (self->next_ < self->steps_.size()) {
      self->steps_[self->next_++]();
    } else if (++self->idle_ticks_ == 100) {
      self->timed_out_ = true;
      PostMessageW(self->box_, WM_CLOSE, 0, 0);
    }
  }

  static inline ModalScript* current_ = nullptr;
  HWND box_;
  std::vector<std::function<void()>> steps_;
  std::size_t next_ = 0;
  int idle_ticks_ = 0;
  bool timed_out_ = false;
  UINT_PTR timer_ = 0;
};

}  // namespace kestrion::test
