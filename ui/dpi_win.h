#pragma once

#include <windows.h>

namespace kestrion {

// Per-monitor DPI on every Windows from 7 SP1 on. The functions of Windows 8.1 and 10 are
// looked up when first needed, never imported, and each has a fall-back: the DPI of the
// screen, which is all that Windows 7 and 8 know.

// A library of the system's: the one loaded already, else loaded from the system's folder,
// never from the program's folder or the current one, where a file of that name may lie
// (Windows 7 and 8 have no shcore.dll of their own); nullptr when the system has none.
HMODULE SystemLibrary(const wchar_t* name);

// Declares the process aware of each monitor's DPI (version 2, else version 1, else of the
// system's DPI), as the manifest does already where Windows reads it. Call before any window
// is created.
void MakeProcessDpiAware();

// The system's DPI: that of the primary monitor when the program started.
int SystemDpi();

// The DPI of the monitor the window is on (its own DPI under per-monitor awareness).
int WindowDpi(HWND window);

// The DPI of a monitor; the system's where it cannot be told.
int MonitorDpi(HMONITOR monitor);

// A monitor's work area: its rectangle less the task bar and other docked bars.
RECT MonitorWorkArea(HMONITOR monitor);

// A system metric (SM_…) at `dpi`.
int SystemMetricForDpi(int index, int dpi);

// GetSystemMetricsForDpi of Windows 10 1607.
using MetricForDpiFunction = int(WINAPI*)(int index, UINT dpi);

// SystemMetricForDpi through `metric_for_dpi`, or without it (nullptr) as on Windows 7 and 8:
// the metric at the system's DPI, scaled.
int SystemMetricForDpi(int index, int dpi, MetricForDpiFunction metric_for_dpi);

// AdjustWindowRectEx at `dpi`: the outer rectangle of a window without menu whose client
// area `rect` holds.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD ex_style, int dpi);

// For WM_NCCREATE: lets Windows 10 scale the window's frame under version 1 of per-monitor
// awareness (version 2 does it itself).
void EnableNonClientDpiScalingOf(HWND window);

// Windows 10 rescales a dialog made from a template when its DPI changes; the program's
// dialogs lay themselves out from their 96-dpi tables instead, and keep their fonts.
void KeepOwnDialogLayout(HWND dialog);
void KeepOwnControlLayout(HWND control);

// WM_DPICHANGED: the new DPI and the rectangle that Windows suggests.
inline int DpiOfDpiChanged(WPARAM wparam) { return HIWORD(wparam); }
inline const RECT& RectOfDpiChanged(LPARAM lparam) {
  return *reinterpret_cast<const RECT*>(lparam);
}

}  // namespace kestrion
