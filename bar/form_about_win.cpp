#include "bar/form_about_win.h"

#include <algorithm>
#include <string>
#include <vector>

#include "bar/about.h"
#include "ui/application_win.h"
#include "ui/forms.h"
#include "base/text_win.h"
#include "bar/form_main_win.h"
#include "resources/resource_ids.h"

#include <shellapi.h>

namespace kestrion {

TFormAbout* FormAbout = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"TFormAbout";
constexpr int kClientWidth = 281;
constexpr int kClientHeight = 140;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr COLORREF kLabelText = RGB(0x63, 0x75, 0xEF);
constexpr int kLabelHeight = 13;

// The labels' font; the rows that open an address are underlined.
HFONT MakeLabelFont(bool underline) {
  // Verdana 8 points (11 pixels) bold, Western character set.
  return CreateFontW(-11, 0, 0, 0, FW_BOLD, FALSE, underline ? TRUE : FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, L"Verdana");
}

// A label the size of its one line of text, as the labels size themselves.
HWND AddLabel(HWND parent, const std::string& text, int left, int top, HFONT font, bool notify) {
  const std::wstring wide = Utf8ToWide(text);
  SIZE extent = {};
  if (HDC dc = GetDC(parent)) {
    const HGDIOBJ old_font = SelectObject(dc, font);
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    SelectObject(dc, old_font);
    ReleaseDC(parent, dc);
  }
  // SS_NOPREFIX: an '&' in the maker's texts is shown, not taken for an accelerator.
  const DWORD style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | (notify ? SS_NOTIFY : 0u);
  HWND label = CreateWindowExW(0, L"STATIC", wide.c_str(), style, left, top, extent.cx,
                               kLabelHeight, parent, nullptr, App().instance, nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return label;
}

// Centred over the bar, but kept on the bar's screen: the bar often stands at an edge.
POINT AboutPlace(SIZE size) {
  RECT over = {};
  HMONITOR monitor = nullptr;
  if (FormMain != nullptr && FormMain->handle() != nullptr) {
    GetWindowRect(FormMain->handle(), &over);
    monitor = MonitorFromWindow(FormMain->handle(), MONITOR_DEFAULTTOPRIMARY);
  } else {
    monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  }
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(monitor, &info);
  const RECT work = info.rcWork;
  if (FormMain == nullptr || FormMain->handle() == nullptr) over = work;
  const LONG left = (over.left + over.right - size.cx) / 2;
  const LONG top = (over.top + over.bottom - size.cy) / 2;
  return POINT{std::clamp(left, work.left, std::max(work.left, work.right - size.cx)),
               std::clamp(top, work.top, std::max(work.top, work.bottom - size.cy))};
}

}  // namespace

TFormAbout::TFormAbout() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = &TFormAbout::WindowProc;
  window_class.hInstance = App().instance;
  window_class.hIcon = App().main_icon;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);

  RECT outer = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  window_ = CreateWindowExW(0, kClassName, L"О программе", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            outer.right - outer.left, outer.bottom - outer.top, App().window,
                            nullptr, App().instance, this);
  CreateControls();
}

TFormAbout::~TFormAbout() {
  // The window goes first: its picture control still shows the bitmap until then.
  if (window_ != nullptr) DestroyWindow(window_);
}

void TFormAbout::CreateControls() {
  picture_.reset(static_cast<HBITMAP>(LoadImageW(
      App().instance, MAKEINTRESOURCEW(IDB_ABOUT_PICTURE), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
  // The picture control takes the bitmap's size, two pixels more each way than the client
  // area, which clips it. It lies beneath the labels and never paints over them.
  Image1 =
      CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_BITMAP, 0,
                      0, 0, 0, window_, nullptr, App().instance, nullptr);
  SendMessageW(Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.get()));

  label_font_.reset(MakeLabelFont(false));
  link_font_.reset(MakeLabelFont(true));
  const MakerContacts& maker = Maker();
  Label1 = AddLabel(window_, "e-mail:", 9, 88, label_font_.get(), false);
  Label2 = AddLabel(window_, "WWW:", 9, 106, label_font_.get(), false);
  LabelWebLink = AddLabel(window_, maker.email, 65, 88, link_font_.get(), true);
  LabelMailTo = AddLabel(window_, maker.web, 65, 106, link_font_.get(), true);
  Label5 = AddLabel(window_, maker.notice, 130, 124, label_font_.get(), true);
  SetWindowPos(Image1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

int TFormAbout::ShowModal() {
  if (IsWindowVisible(window_)) {
    SetForegroundWindow(window_);
    return 2;
  }
  RECT outer = {};
  GetWindowRect(window_, &outer);
  const POINT place = AboutPlace(SIZE{outer.right - outer.left, outer.bottom - outer.top});
  SetWindowPos(window_, nullptr, place.x, place.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  closed_ = false;
  ShowModalWindow(window_, [this] { return closed_; });
  return 2;
}

LRESULT CALLBACK TFormAbout::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TFormAbout*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TFormAbout*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  LRESULT result = 0;
  bool handled = false;
  RunGuarded([&] {
    result = self->HandleMessage(message, wparam, lparam);
    handled = true;
  });
  return handled ? result : DefWindowProcW(window, message, wparam, lparam);
}

LRESULT TFormAbout::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      // Every label a black strip with blue text; the picture is drawn as it is.
      if (reinterpret_cast<HWND>(lparam) == Image1) break;
      const auto dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, kLabelText);
      SetBkColor(dc, RGB(0, 0, 0));
      SetBkMode(dc, OPAQUE);
      return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    }
    case WM_SETCURSOR: {
      const auto over = reinterpret_cast<HWND>(wparam);
      if ((over == LabelWebLink || over == LabelMailTo) && LOWORD(lparam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_COMMAND: {
      const auto from = reinterpret_cast<HWND>(lparam);
      if (from == LabelWebLink && HIWORD(wparam) == STN_CLICKED) LabelWebLinkClick();
      if (from == LabelMailTo && HIWORD(wparam) == STN_CLICKED) LabelMailToClick();
      if (from == Label5 && HIWORD(wparam) == STN_DBLCLK) Label5DblClick();
      // Escape's IDCANCEL is not a close: the box has no Cancel button.
      return 0;
    }
    case WM_CLOSE:
      closed_ = true;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void TFormAbout::LabelWebLinkClick() {
  // The mail program is started with the "open" verb and hidden, as it always was; it shows
  // its own window for the new mail.
  ShellExecuteW(App().window, L"open", Utf8ToWide(MailtoAddress(Maker())).c_str(), nullptr, nullptr,
                SW_HIDE);
}

void TFormAbout::LabelMailToClick() {
  ShellExecuteW(App().window, nullptr, Utf8ToWide(Maker().web).c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

void TFormAbout::Label5DblClick() {
  // Shift down now, or pressed since the last query.
  if (GetAsyncKeyState(VK_SHIFT) == 0) return;
  // No caption of its own: the system's default one.
  MessageBoxW(App().window, Utf8ToWide(kGreetingText).c_str(), nullptr, MB_ICONINFORMATION);
}

}  // namespace kestrion
