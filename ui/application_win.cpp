#include "ui/application_win.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "base/exception_display.h"
#include "base/scoped_win.h"
#include "base/text_win.h"
#include "resources/resource_ids.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"

namespace kestrion {

namespace {

// A DIB section that holds a bitmap's pixels as 32-bit BGRA, top-down.
HBITMAP CreateImageSection(HDC dc, int size, std::uint32_t** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  *bits = static_cast<std::uint32_t*>(pixels);
  return bitmap;
}

constexpr UINT kRunOnUiThread = WM_APP + 1;

class DisabledWindows {
 public:
  explicit DisabledWindows(HWND dialog) : dialog_(dialog) {
    EnumThreadWindows(GetCurrentThreadId(), &DisabledWindows::Collect,
                      reinterpret_cast<LPARAM>(this));
    for (HWND window : windows_) EnableWindow(window, FALSE);
  }
  ~DisabledWindows() {
    for (HWND window : windows_) {
      if (IsWindow(window)) EnableWindow(window, TRUE);
    }
  }
  DisabledWindows(const DisabledWindows&) = delete;
  DisabledWindows& operator=(const DisabledWindows&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND window, LPARAM self_pointer) {
    auto* self = reinterpret_cast<DisabledWindows*>(self_pointer);
    // Hidden windows (the application window among them) stay as they are: they take no
    // input, and the poll's hand-overs to the application window must go on.
    if (window != self->dialog_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
      self->windows_.push_back(window);
    }
    return TRUE;
  }

  HWND dialog_;
  std::vector<HWND> windows_;
};

LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kRunOnUiThread) {
    const std::unique_ptr<std::function<void()>> work(
        reinterpret_cast<std::function<void()>*>(lparam));
    RunGuarded(*work);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

Application& App() {
  static Application app;
  return app;
}

void InitApplication(HINSTANCE instance) {
  MakeProcessDpiAware();
  Application& app = App();
  app.instance = instance;
  app.main_icon = LoadIconW(instance, L"MAINICON");
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  app.exe_path = path;
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = ApplicationProc;
  window_class.hInstance = instance;
  window_class.hIcon = app.main_icon;
  window_class.lpszClassName = L"TApplication";
  RegisterClassExW(&window_class);
  app.window = CreateWindowExW(0, L"TApplication", app.title.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                               nullptr, instance, nullptr);
}

bool PostToUiThread(std::function<void()> work) {
  auto queued = std::make_unique<std::function<void()>>(std::move(work));
  if (!PostMessageW(App().window, kRunOnUiThread, 0, reinterpret_cast<LPARAM>(queued.get()))) {
    return false;
  }
  queued.release();  // the message owns it now
  return true;
}

void ShowException(const std::string& message) {
  HWND owner = GetActiveWindow();
  if (owner == nullptr) owner = App().window;
  MessageBoxW(owner, Utf8ToWide(ExceptionDisplayText(message)).c_str(), App().title.c_str(),
              MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void RunGuarded(const std::function<void()>& handler) { RunGuarded(handler, ShowException); }

void ShowModalWindow(HWND dialog, const std::function<bool()>& closed) {
  // The dialog stands over the window it was opened from, as an owned window does; opened
  // from the topmost bar it is then above the bar, not beneath it.
  const HWND opener = GetActiveWindow();
  const bool owned = opener != nullptr && opener != dialog;
  const LONG_PTR owner = GetWindowLongPtrW(dialog, GWLP_HWNDPARENT);
  if (owned) SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(opener));
  {
    const DisabledWindows others(dialog);
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
    MSG message = {};
    while (!closed()) {
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got == -1) break;
      if (got == 0) {
        PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      if (!IsDialogMessageW(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }
  // The other windows are enabled first, so that one of them becomes active again.
  ShowWindow(dialog, SW_HIDE);
  if (owned) SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, owner);
}

HICON LoadResourceIcon(int id, int size) {
  return static_cast<HICON>(
      LoadImageW(App().instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void RegisterFormClass(const wchar_t* class_name, WNDPROC procedure, int extra) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.cbWndExtra = extra;
  window_class.hInstance = App().instance;
  window_class.hIcon = App().main_icon;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = class_name;
  RegisterClassExW(&window_class);
}

HICON LoadImageListIcon(Image image, int size) {
  return LoadResourceIcon(IDI_IMAGE_FIRST + static_cast<int>(image), size);
}

HFONT SansSerifFont(bool bold, int dpi) {
  // Only the user-interface thread asks; a few monitors' DPIs at most.
  static std::map<std::pair<bool, int>, HFONT> fonts;
  HFONT& font = fonts[{bold, dpi}];
  if (font == nullptr) {
    font =
        CreateFontW(-FontPixelsForDpi(kFormFontPoints, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                    FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, Utf8ToWide(kFormFontFace).c_str());
  }
  return font;
}

SIZE TextExtent(HWND window, HFONT font, const std::wstring& text) {
  SIZE extent = {};
  const WindowDc dc(window);
  if (dc.get() != nullptr) {
    const ScopedSelectObject selected(dc.get(), font);
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  }
  return extent;
}

// The icon is drawn once on black and once on white; the difference gives its coverage, whatever
// the icon's own format (alpha channel or mask).
HBITMAP MenuPicture(HICON icon, int size, bool greyed) {
  if (icon == nullptr) return nullptr;
  const UniqueDc dc(CreateCompatibleDC(WindowDc(nullptr).get()));
  std::uint32_t* on_black = nullptr;
  std::uint32_t* on_white = nullptr;
  UniqueBitmap black(CreateImageSection(dc.get(), size, &on_black));
  const UniqueBitmap white(CreateImageSection(dc.get(), size, &on_white));
  const int count = size * size;
  if (black != nullptr && white != nullptr) {
    std::fill(on_black, on_black + count, 0xFF000000u);
    std::fill(on_white, on_white + count, 0xFFFFFFFFu);
    for (HBITMAP background : {black.get(), white.get()}) {
      const ScopedSelectObject selected(dc.get(), background);
      DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    }
    GdiFlush();
    for (int i = 0; i < count; ++i) {
      // Over black a pixel is colour × alpha (premultiplied already); over white it is that
      // plus (1 − alpha), so the green channels tell the alpha.
      const std::uint32_t b = on_black[i] & 0xFFFFFFu;
      const int green_black = static_cast<int>((on_black[i] >> 8) & 0xFF);
      const int green_white = static_cast<int>((on_white[i] >> 8) & 0xFF);
      const auto alpha = static_cast<std::uint32_t>(255 - std::max(0, green_white - green_black));
      on_black[i] = (alpha << 24) | b;
      if (greyed) {
        // Its brightness at half the coverage: still premultiplied, as grey never exceeds
        // the alpha it came with.
        const std::uint32_t grey =
            (77 * ((b >> 16) & 0xFF) + 150 * ((b >> 8) & 0xFF) + 29 * (b & 0xFF)) >> 9;
        on_black[i] = ((alpha / 2) << 24) | (grey << 16) | (grey << 8) | grey;
      }
    }
  }
  return black.release();
}

void DrawMenuPicture(HDC dc, int x, int y, HBITMAP picture) {
  BITMAP image = {};
  if (picture == nullptr || GetObjectW(picture, sizeof image, &image) == 0) return;
  const UniqueDc source(CreateCompatibleDC(dc));
  const ScopedSelectObject selected(source.get(), picture);
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  GdiAlphaBlend(dc, x, y, image.bmWidth, image.bmHeight, source.get(), 0, 0, image.bmWidth,
                image.bmHeight, blend);
}

}  // namespace kestrion
