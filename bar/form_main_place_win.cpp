// Where the bar stands: its place at start, on the screens as they change, and at each DPI.
#include <utility>
#include <vector>

#include "bar/form_main_win.h"
#include "settings/program_registry.h"
#include "ui/dpi_win.h"

namespace kestrion {
namespace {

std::vector<BarRect> ScreenRects() {
  std::vector<BarRect> screens;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR, HDC, LPRECT rect, LPARAM data) CALLBACK -> BOOL {
        reinterpret_cast<std::vector<BarRect>*>(data)->push_back(BarRectOf(*rect));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&screens));
  return screens;
}

BarRect PrimaryScreen() {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  return BarRectOf(info.rcMonitor);
}

BarRect PrimaryWorkArea() {
  return BarRectOf(MonitorWorkArea(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY)));
}

}  // namespace

void TFormMain::RestoreGeometry() {
  const BarRect stored = RestoreBarGeometry(OpenProgramRegistry, Bounds(), dpi_);
  SetBounds(KeepBarReachable(stored, ScreenRects(), PrimaryWorkArea()));
  place_.Placed(Bounds());
}

void TFormMain::KeepWhole() {
  const std::vector<BarRect> screens = ScreenRects();
  // Between two set-ups there may be no screen at all: nothing to judge by, nowhere to go.
  if (screens.empty()) return;
  const BarRect bar = Bounds();
  const BarRect whole = KeepBarWhole(bar, screens, PrimaryScreen());
  if (whole == bar) return;
  PlaceWindow(whole.left, whole.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BarRect TFormMain::Bounds() const {
  RECT r = {};
  GetWindowRect(window_, &r);
  return BarRectOf(r);
}

void TFormMain::SetBounds(const BarRect& bar) {
  const BarRect held = ConstrainBarSize(bar, dpi_);
  PlaceWindow(held.left, held.top, held.width, held.height, SWP_NOZORDER | SWP_NOACTIVATE);
  // Placed on a monitor of another DPI: held to the limits there.
  const BarRect now = Bounds();
  const BarRect again = ConstrainBarSize(now, dpi_);
  if (!(again == now)) {
    PlaceWindow(again.left, again.top, again.width, again.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TFormMain::PlaceWindow(int left, int top, int width, int height, UINT flags) {
  const bool placing = std::exchange(placing_, true);
  SetWindowPos(window_, nullptr, left, top, width, height, flags);
  placing_ = placing;
}

void TFormMain::DpiChanged(int dpi, const RECT& suggested) {
  dpi_ = dpi;
  if (!placing_) {
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetWindowIcons();
  InvalidateRect(label_, nullptr, TRUE);
}

}  // namespace kestrion
