#include "bar/form_about_win.h"

#include <array>
#include <optional>
#include <string>

#include "bar/about.h"
#include "bar/form_main_win.h"
#include "base/text_win.h"
#include "resources/resource_ids.h"
#include "ui/application_win.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"

#include <shellapi.h>

namespace kestrion {

TFormAbout* FormAbout = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"TFormAbout";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int kLabelHeight = 13;

// The labels' font, Western character set; the rows that open an address are underlined.
HFONT MakeLabelFont(bool underline, int dpi) {
  return CreateFontW(-FontPixelsForDpi(kAboutFontPoints, dpi), 0, 0, 0, FW_BOLD, FALSE,
                     underline ? TRUE : FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                     Utf8ToWide(kAboutFontFace).c_str());
}

HWND AddLabel(HWND parent, const AboutLabel& label, bool notify) {
  // SS_NOPREFIX: an '&' in the maker's texts is shown, not taken for an accelerator.
  const DWORD style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | (notify ? SS_NOTIFY : 0u);
  return CreateWindowExW(0, L"STATIC", Utf8ToWide(label.text).c_str(), style, 0, 0, 0, 0, parent,
                         nullptr, App().instance, nullptr);
}

// A label the size of its one line of text, as the labels size themselves.
void PlaceLabel(HWND label, const AboutLabel& place, HFONT font, int dpi) {
  const SIZE extent = TextExtent(label, font, Utf8ToWide(place.text));
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowPos(label, nullptr, ScaleForDpi(place.left, dpi), ScaleForDpi(place.top, dpi), extent.cx,
               ScaleForDpi(kLabelHeight, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
}

// The picture at `dpi`, smoothed: the stored bitmap is drawn for 96 dpi.
HBITMAP ScaledPicture(HBITMAP design, int dpi) {
  BITMAP image = {};
  if (design == nullptr || GetObjectW(design, sizeof image, &image) == 0) return nullptr;
  const int width = ScaleForDpi(image.bmWidth, dpi);
  const int height = ScaleForDpi(image.bmHeight, dpi);
  const WindowDc screen(nullptr);
  UniqueBitmap scaled(CreateCompatibleBitmap(screen.get(), width, height));
  const UniqueDc from(CreateCompatibleDC(screen.get()));
  const UniqueDc to(CreateCompatibleDC(screen.get()));
  if (scaled == nullptr || from == nullptr || to == nullptr) return nullptr;
  const ScopedSelectObject source(from.get(), design);
  const ScopedSelectObject target(to.get(), scaled.get());
  SetStretchBltMode(to.get(), HALFTONE);
  SetBrushOrgEx(to.get(), 0, 0, nullptr);
  StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, image.bmWidth, image.bmHeight,
             SRCCOPY);
  return scaled.release();
}

// Centred over the bar, but kept on the bar's screen: the bar often stands at an edge.
BarRect PlaceOverBar(const RECT& outer) {
  std::optional<BarRect> bar;
  HMONITOR monitor = nullptr;
  if (FormMain != nullptr && FormMain->handle() != nullptr) {
    RECT over = {};
    GetWindowRect(FormMain->handle(), &over);
    bar = BarRectOf(over);
    monitor = MonitorFromWindow(FormMain->handle(), MONITOR_DEFAULTTOPRIMARY);
  } else {
    monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  }
  return AboutPlace(outer.right - outer.left, outer.bottom - outer.top, bar,
                    BarRectOf(MonitorWorkArea(monitor)));
}

}  // namespace

TFormAbout::TFormAbout() {
  RegisterFormClass(kClassName, &TFormAbout::WindowProc);

  window_ = CreateWindowExW(0, kClassName, Utf8ToWide(kAboutCaption).c_str(), kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, 0, 0, App().window, nullptr, App().instance, this);
  CreateControls();
  LayOut(WindowDpi(window_));
}

TFormAbout::~TFormAbout() {
  // The window goes first: its picture control still shows the bitmap until then.
  if (window_ != nullptr) DestroyWindow(window_);
}

void TFormAbout::CreateControls() {
  design_picture_.reset(static_cast<HBITMAP>(LoadImageW(
      App().instance, MAKEINTRESOURCEW(IDB_ABOUT_PICTURE), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
  // The picture control takes the bitmap's size, two pixels more each way than the client
  // area, which clips it. It lies beneath the labels and never paints over them.
  Image1 =
      CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_BITMAP, 0,
                      0, 0, 0, window_, nullptr, App().instance, nullptr);
  const std::array<AboutLabel, 5> labels = AboutLabels(Maker());
  HWND* const members[] = {&Label1, &Label2, &LabelWebLink, &LabelMailTo, &Label5};
  static_assert(std::size(members) == std::tuple_size_v<decltype(labels)>);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    // The links and the bottom line report their clicks.
    *members[i] = AddLabel(window_, labels[i], labels[i].link || members[i] == &Label5);
  }
  SetWindowPos(Image1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TFormAbout::LayOut(int dpi) {
  if (dpi == dpi_) return;
  dpi_ = dpi;
  RECT outer = {0, 0, ScaleForDpi(kAboutWidth, dpi), ScaleForDpi(kAboutHeight, dpi)};
  AdjustWindowRectForDpi(outer, kStyle, 0, dpi);
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  UniqueBitmap picture(dpi == kDesignDpi ? nullptr : ScaledPicture(design_picture_.get(), dpi));
  SendMessageW(
      Image1, STM_SETIMAGE, IMAGE_BITMAP,
      reinterpret_cast<LPARAM>(picture != nullptr ? picture.get() : design_picture_.get()));
  picture_ = std::move(picture);  // the control shows the new one now

  UniqueFont label_font(MakeLabelFont(false, dpi));
  UniqueFont link_font(MakeLabelFont(true, dpi));
  const std::array<AboutLabel, 5> labels = AboutLabels(Maker());
  const HWND members[] = {Label1, Label2, LabelWebLink, LabelMailTo, Label5};
  for (std::size_t i = 0; i < labels.size(); ++i) {
    PlaceLabel(members[i], labels[i], labels[i].link ? link_font.get() : label_font.get(), dpi);
  }
  label_font_ = std::move(label_font);
  link_font_ = std::move(link_font);
  InvalidateRect(window_, nullptr, TRUE);
}

int TFormAbout::ShowModal() {
  if (IsWindowVisible(window_)) {
    SetForegroundWindow(window_);
    return 2;
  }
  // Laid out for the bar's monitor, where it is shown.
  if (FormMain != nullptr && FormMain->handle() != nullptr) LayOut(FormMain->dpi());
  RECT outer = {};
  GetWindowRect(window_, &outer);
  const BarRect place = PlaceOverBar(outer);
  SetWindowPos(window_, nullptr, place.left, place.top, 0, 0,
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
    EnableNonClientDpiScalingOf(window);
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
      SetTextColor(dc, kAboutTextColour);
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
    case WM_DPICHANGED: {
      // Laid out for that DPI already when placed over the bar: it stays where placed.
      if (DpiOfDpiChanged(wparam) == dpi_) return 0;
      LayOut(DpiOfDpiChanged(wparam));
      const RECT& suggested = RectOfDpiChanged(lparam);
      SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
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
