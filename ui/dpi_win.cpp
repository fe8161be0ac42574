#include "ui/dpi_win.h"

#include "base/scoped_win.h"
#include "ui/dpi.h"

namespace kestrion {
namespace {

// DPI_AWARENESS_CONTEXT values and MDT_EFFECTIVE_DPI, which the Windows 7 headers lack.
const auto kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const auto kPerMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitorDpiAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
constexpr int kEffectiveDpi = 0;               // MDT_EFFECTIVE_DPI
constexpr int kDisableAll = 1;                 // DDC_DISABLE_ALL
constexpr int kDisableFontAndRelayout = 3;     // DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT

// A function of a system library that this Windows may not have: nullptr then.
template <typename Function>
Function Find(const wchar_t* library, const char* name) {
  const HMODULE module = SystemLibrary(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct DpiFunctions {
  BOOL(WINAPI* set_context)(HANDLE) = nullptr;                              // Windows 10 1703
  HRESULT(WINAPI* set_awareness)(int) = nullptr;                            // Windows 8.1
  UINT(WINAPI* for_system)() = nullptr;                                     // Windows 10 1607
  UINT(WINAPI* for_window)(HWND) = nullptr;                                 // Windows 10 1607
  HRESULT(WINAPI* for_monitor)(HMONITOR, int, UINT*, UINT*) = nullptr;      // Windows 8.1
  MetricForDpiFunction metric_for_dpi = nullptr;                            // Windows 10 1607
  BOOL(WINAPI* adjust_for_dpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;  // Windows 10 1607
  BOOL(WINAPI* non_client_scaling)(HWND) = nullptr;                         // Windows 10 1607
  BOOL(WINAPI* dialog_behaviour)(HWND, int, int) = nullptr;                 // Windows 10 1703
  BOOL(WINAPI* control_behaviour)(HWND, int, int) = nullptr;                // Windows 10 1703
};

const DpiFunctions& Functions() {
  static const DpiFunctions functions = [] {
    DpiFunctions f;
    constexpr const wchar_t* kUser = L"user32.dll";
    f.set_context = Find<decltype(f.set_context)>(kUser, "SetProcessDpiAwarenessContext");
    f.for_system = Find<decltype(f.for_system)>(kUser, "GetDpiForSystem");
    f.for_window = Find<decltype(f.for_window)>(kUser, "GetDpiForWindow");
    f.metric_for_dpi = Find<decltype(f.metric_for_dpi)>(kUser, "GetSystemMetricsForDpi");
    f.adjust_for_dpi = Find<decltype(f.adjust_for_dpi)>(kUser, "AdjustWindowRectExForDpi");
    f.non_client_scaling = Find<decltype(f.non_client_scaling)>(kUser, "EnableNonClientDpiScaling");
    f.dialog_behaviour = Find<decltype(f.dialog_behaviour)>(kUser, "SetDialogDpiChangeBehavior");
    f.control_behaviour =
        Find<decltype(f.control_behaviour)>(kUser, "SetDialogControlDpiChangeBehavior");
    // Windows 7 and 8 have no shcore.dll; a Windows 7 without its 2011 loader update does
    // not know the search flag either: nullptr on both.
    f.set_awareness = Find<decltype(f.set_awareness)>(L"shcore.dll", "SetProcessDpiAwareness");
    f.for_monitor = Find<decltype(f.for_monitor)>(L"shcore.dll", "GetDpiForMonitor");
    return f;
  }();
  return functions;
}

int ScreenDpi() {
  const WindowDc screen(nullptr);
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : kDesignDpi;
}

}  // namespace

HMODULE SystemLibrary(const wchar_t* name) {
  const HMODULE module = GetModuleHandleW(name);
  if (module != nullptr) return module;
  // From the system's folder only, as every library the program loads.
  return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void MakeProcessDpiAware() {
  const DpiFunctions& f = Functions();
  // Each fails harmlessly when the manifest has said so already.
  if (f.set_context != nullptr &&
      (f.set_context(kPerMonitorAwareV2) || f.set_context(kPerMonitorAware))) {
    return;
  }
  if (f.set_awareness != nullptr && SUCCEEDED(f.set_awareness(kProcessPerMonitorDpiAware))) return;
  SetProcessDPIAware();
}

int SystemDpi() {
  const DpiFunctions& f = Functions();
  const int dpi = f.for_system != nullptr ? static_cast<int>(f.for_system()) : 0;
  return dpi > 0 ? dpi : ScreenDpi();
}

int MonitorDpi(HMONITOR monitor) {
  const DpiFunctions& f = Functions();
  UINT x = 0;
  UINT y = 0;
  if (monitor != nullptr && f.for_monitor != nullptr &&
      SUCCEEDED(f.for_monitor(monitor, kEffectiveDpi, &x, &y)) && y > 0) {
    return static_cast<int>(y);
  }
  return SystemDpi();
}

RECT MonitorWorkArea(HMONITOR monitor) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(monitor, &info);
  return info.rcWork;
}

int WindowDpi(HWND window) {
  const DpiFunctions& f = Functions();
  const int dpi =
      f.for_window != nullptr && window != nullptr ? static_cast<int>(f.for_window(window)) : 0;
  if (dpi > 0) return dpi;
  return MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

int SystemMetricForDpi(int index, int dpi) {
  return SystemMetricForDpi(index, dpi, Functions().metric_for_dpi);
}

int SystemMetricForDpi(int index, int dpi, MetricForDpiFunction metric_for_dpi) {
  if (metric_for_dpi != nullptr) return metric_for_dpi(index, static_cast<UINT>(dpi));
  // The metrics of older systems are at the system's DPI.
  return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD ex_style, int dpi) {
  const DpiFunctions& f = Functions();
  if (f.adjust_for_dpi != nullptr &&
      f.adjust_for_dpi(&rect, style, FALSE, ex_style, static_cast<UINT>(dpi))) {
    return;
  }
  AdjustWindowRectEx(&rect, style, FALSE, ex_style);
}

void EnableNonClientDpiScalingOf(HWND window) {
  const DpiFunctions& f = Functions();
  if (f.non_client_scaling != nullptr) f.non_client_scaling(window);
}

void KeepOwnDialogLayout(HWND dialog) {
  const DpiFunctions& f = Functions();
  if (f.dialog_behaviour != nullptr) f.dialog_behaviour(dialog, kDisableAll, kDisableAll);
}

void KeepOwnControlLayout(HWND control) {
  const DpiFunctions& f = Functions();
  if (f.control_behaviour != nullptr) {
    f.control_behaviour(control, kDisableFontAndRelayout, kDisableFontAndRelayout);
  }
}

}  // namespace kestrion
