#include "bar/form_main_win.h"

#include <stdexcept>
#include <utility>

#include "bar/status.h"
#include "base/text_win.h"
#include "poll/poll_thread.h"
#include "poll/program_poll.h"
#include "settings/program_registry.h"
#include "settings_dialog/form_settings_win.h"
#include "ui/application_win.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"
#include "ui/single_copy_win.h"

#include <windowsx.h>

namespace kestrion {

TFormMain* FormMain = nullptr;
TMainThread* MainThread = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"TFormMain";
constexpr wchar_t kLabelClassName[] = L"TLabel";
constexpr DWORD kStyle = WS_POPUP | WS_BORDER | WS_THICKFRAME;  // 0x80840000
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr UINT_PTR kTimer1 = 1;

}  // namespace

TFormMain::TFormMain() {
  const HINSTANCE instance = App().instance != nullptr ? App().instance : GetModuleHandleW(nullptr);
  static const bool registered = [instance] {
    WNDCLASSEXW bar = {};
    bar.cbSize = sizeof bar;
    bar.lpfnWndProc = WindowProc;
    bar.hInstance = instance;
    bar.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    bar.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    bar.hIcon = App().main_icon;
    bar.lpszClassName = kClassName;
    WNDCLASSEXW label = {};
    label.cbSize = sizeof label;
    label.style = CS_DBLCLKS;
    label.lpfnWndProc = LabelProc;
    label.hInstance = instance;
    label.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    label.lpszClassName = kLabelClassName;
    return RegisterClassExW(&bar) != 0 && RegisterClassExW(&label) != 0;
  }();
  (void)registered;
  TaskbarCreatedMessage();
  text_colour_ = GetSysColor(COLOR_WINDOWTEXT);

  // The design place is on the primary monitor, whose DPI is the system's.
  dpi_ = SystemDpi();
  RECT outer = {0, 0, ScaleForDpi(kBarDesignClientWidth, dpi_),
                ScaleForDpi(kBarDesignClientHeight, dpi_)};
  AdjustWindowRectForDpi(outer, kStyle, kExStyle, dpi_);
  CreateWindowExW(kExStyle, kClassName, Utf8ToWide(kAppTitle).c_str(), kStyle, kBarDesignLeft,
                  kBarDesignTop, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                  nullptr, instance, this);
  if (window_ == nullptr) throw std::runtime_error("The bar window could not be created.");
  RECT client = {};
  GetClientRect(window_, &client);
  label_ = CreateWindowExW(0, kLabelClassName, L"LabelMain", WS_CHILD | WS_VISIBLE, 0, 0,
                           client.right, client.bottom, window_, nullptr, instance, this);

  BuildMenu();
  SetTimer(window_, kTimer1, kTimerIntervalMs, nullptr);
}

TFormMain::~TFormMain() {
  FormDestroy();
  if (window_ != nullptr) {
    KillTimer(window_, kTimer1);
    DestroyWindow(window_);
  }
}

void TFormMain::FormDestroy() {
  if (destroyed_ || window_ == nullptr) return;
  destroyed_ = true;
  RemoveTrayIcon();
  SaveBarGeometry(OpenProgramRegistry, Bounds());
}

void TFormMain::FormCreate() {
  AddTrayIcon();
  RestoreGeometry();
  // Never freed: the thread lives as long as the process.
  MainThread = StartPollThread(PostToUiThread, PollFrontOf(FormMain, FormSettings));
}

void TFormMain::Show() {
  ShowWindow(window_, SW_SHOW);
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(window_);
}

void TFormMain::Hide() { ShowWindow(window_, SW_HIDE); }

void TFormMain::BringIntoView() {
  const bool focused = GetFocus() == label_;
  // As "Развернуть" shows it; activated, it gives the status the focus (WM_SETFOCUS).
  Show();
  // A focus that stays where it is raises no event, yet the user asked to hear the status.
  if (focused) NotifyWinEvent(EVENT_OBJECT_FOCUS, label_, OBJID_CLIENT, CHILDID_SELF);
}

void TFormMain::SetNotifyFunction(NotifyIcon::NotifyFunction notify) {
  tray_.SetNotifyFunction(std::move(notify));
}

void TFormMain::AddTrayIcon() { tray_.Add(window_); }

void TFormMain::RemoveTrayIcon() { tray_.Remove(); }

void TFormMain::ShowStatus(const Status& status) {
  const StatusChange change = shown_.Show(status);
  if (change.look) {
    text_colour_ = StatusColour(status.ok);
    status_image_ = StatusImage(status.ok);
    SetWindowIcons();
    InvalidateRect(label_, nullptr, TRUE);
  }
  // The label tells a screen reader of a new text: only news reaches it.
  if (change.text) SetWindowTextW(label_, Utf8ToWide(shown_.text()).c_str());
  if (change.look || change.text) UpdateWindow(label_);
  if (change.look || change.tip) {
    tray_.Show(icons_.Get(*status_image_, NotifyIconSize()), shown_.tip());
  }
}

void TFormMain::SetWindowIcons() {
  if (!status_image_) return;
  const HICON small_icon = icons_.Get(*status_image_, SystemMetricForDpi(SM_CXSMICON, dpi_));
  const HICON big_icon = icons_.Get(*status_image_, SystemMetricForDpi(SM_CXICON, dpi_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon));
}

void TFormMain::PaintLabel(HDC dc) {
  RECT client = {};
  GetClientRect(label_, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const std::wstring text = WindowText(label_);
  const ScopedSelectObject font(dc, SansSerifFont(true, dpi_));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, text_colour_);
  // Server text is shown as it comes: an ampersand is no mnemonic here.
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TFormMain::LabelMainMouseDown(int x, int y) {
  drag_.Press(BarDrag::Button::kLeft, x, y);
  SetCapture(label_);  // move and release keep coming when the pointer leaves the bar
}

void TFormMain::LabelMainMouseMove(int x, int y) {
  if (const auto moved = drag_.Move(x, y, Bounds())) {
    SetWindowPos(window_, nullptr, moved->left, moved->top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TFormMain::LabelMainMouseUp() {
  if (drag_.Release()) place_.ChangeEnded(Bounds());
  if (GetCapture() == label_) ReleaseCapture();
}

void TFormMain::LabelMainDblClick() {
  drag_.DoubleClick();
  Hide();
}

void TFormMain::Timer1Timer() {
  if (MainThread != nullptr) MainThread->Resume();
}

LRESULT CALLBACK TFormMain::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  RunGuarded([&] {
    if (message == WM_NCCREATE) {
      auto* form =
          static_cast<TFormMain*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      form->window_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
      EnableNonClientDpiScalingOf(window);
    }
    auto* form = reinterpret_cast<TFormMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_GETMINMAXINFO) {
      // Comes before WM_NCCREATE too, while the window takes its first size on the primary
      // monitor.
      const int dpi = form != nullptr ? form->dpi_ : SystemDpi();
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {ScaleForDpi(kBarMinWidth, dpi), ScaleForDpi(kBarMinHeight, dpi)};
      limits->ptMaxTrackSize = {SHRT_MAX, ScaleForDpi(kBarMaxHeight, dpi)};
      return;
    }
    result = form != nullptr ? form->HandleMessage(message, wparam, lparam)
                             : DefWindowProcW(window, message, wparam, lparam);
  });
  return result;
}

LRESULT TFormMain::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kTrayIconMessage:
      TrayIconMessage(lparam);
      return 0;
    case WM_SIZE:
      if (label_ != nullptr) MoveWindow(label_, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      // Every way of showing or hiding the bar passes here: FormShow and FormHide.
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lparam);
      if ((pos->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0) {
        UpdateVisibilityItems((pos->flags & SWP_SHOWWINDOW) != 0);
      }
      break;
    }
    case WM_CONTEXTMENU:
      // The menu key and Shift+F10 come with -1 for both coordinates.
      PopupMenu(GET_X_LPARAM(lparam) == -1 && GET_Y_LPARAM(lparam) == -1);
      return 0;
    case WM_SETFOCUS:
      // The status is the bar's one thing to read: activated in any way, the bar hands the
      // focus on to it, and a screen reader reads it as the focused object.
      if (label_ != nullptr) SetFocus(label_);
      return 0;
    case WM_MEASUREITEM:
      if (MeasureMenuPicture(*reinterpret_cast<MEASUREITEMSTRUCT*>(lparam))) return TRUE;
      break;
    case WM_DRAWITEM:
      if (DrawMenuItemPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return TRUE;
      break;
    case WM_COMMAND: {
      const UINT id = LOWORD(wparam);
      if (id >= kFirstCommand && id < kFirstCommand + BarMenuItems().size()) {
        Command(static_cast<int>(id - kFirstCommand));
        return 0;
      }
      break;
    }
    case WM_TIMER:
      if (wparam == kTimer1) Timer1Timer();
      return 0;
    case WM_CLOSE:
      // The bar is the main window: closing it ends the message loop; the window itself is
      // destroyed with the form, after the loop, as the rest of the shutdown expects.
      PostQuitMessage(0);
      return 0;
    case WM_EXITSIZEMOVE:
      // A resize by the frame has ended.
      place_.ChangeEnded(Bounds());
      return 0;
    case WM_DPICHANGED:
      DpiChanged(DpiOfDpiChanged(wparam), RectOfDpiChanged(lparam));
      return 0;
    case WM_DISPLAYCHANGE:
      // A monitor removed, a resolution lowered.
      KeepWhole();
      break;
    case WM_SETTINGCHANGE:
      // Comes too when screens come and go, at times once the new ones are settled.
      if (wparam == SPI_SETWORKAREA) KeepWhole();
      break;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended without another message: do now what "Выход" would, the
      // poll thread first, as at the end of the loop.
      if (wparam != FALSE) {
        EndPollThread(MainThread);
        FormDestroy();
      }
      return 0;
    case WM_DESTROY:
      // Destroyed from outside the form: the program cannot go on without its bar.
      if (!destroyed_) {
        FormDestroy();
        PostQuitMessage(0);
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      label_ = nullptr;
      return 0;
    default:
      if (message == BringIntoViewMessage() && message != 0) {
        BringIntoView();
        return kCopyAnswer;
      }
      if (message == TaskbarCreatedMessage() && message != 0) {
        tray_.AddAgain();
        return 0;
      }
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

LRESULT CALLBACK TFormMain::LabelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  RunGuarded([&] {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    }
    auto* form = reinterpret_cast<TFormMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    result = form != nullptr && form->label_ == window
                 ? form->HandleLabelMessage(message, wparam, lparam)
                 : DefWindowProcW(window, message, wparam, lparam);
  });
  return result;
}

LRESULT TFormMain::HandleLabelMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const int x = GET_X_LPARAM(lparam);
  const int y = GET_Y_LPARAM(lparam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint = {};
      HDC dc = BeginPaint(label_, &paint);
      PaintLabel(dc);
      EndPaint(label_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintLabel(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(SansSerifFont(true, dpi_));
    case WM_SETTEXT: {
      const LRESULT done = DefWindowProcW(label_, message, wparam, lparam);
      InvalidateRect(label_, nullptr, TRUE);
      // The text is the label's accessible name; drawn here, not by a standard control, the
      // label itself tells screen readers that it changed.
      NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, label_, OBJID_CLIENT, CHILDID_SELF);
      return done;
    }
    case WM_LBUTTONDOWN:
      LabelMainMouseDown(x, y);
      return 0;
    case WM_MOUSEMOVE:
      LabelMainMouseMove(x, y);
      return 0;
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
      LabelMainMouseUp();
      return 0;
    case WM_RBUTTONUP:
      LabelMainMouseUp();
      break;  // the default handling turns it into WM_CONTEXTMENU, which reaches the bar
    case WM_CAPTURECHANGED:
      // A drag that lost the pointer (another window took it) must not follow it later.
      if (drag_.Release()) place_.ChangeEnded(Bounds());
      return 0;
    case WM_LBUTTONDBLCLK:
      LabelMainDblClick();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(label_, message, wparam, lparam);
}

}  // namespace kestrion
