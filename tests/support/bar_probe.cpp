// bar_probe: asks a running kestrion.exe's bar from another process, as the system and the
// shell do, and reports what the user would see.
//   bar_probe ping        prints how many milliseconds the bar took to answer WM_NULL, or
//                         "hung" when it did not within 5 s
//   bar_probe endsession  the end of the session, as the system announces it
//   bar_probe close       closes the bar, as the task list does
//   bar_probe label       prints the label's colour ("green", "red" or "none") and its text
//   bar_probe tick        the poll timer's message, as the system sends it
//   bar_probe ticks N MS  the same N times, MS milliseconds apart: a long run of polls
//   bar_probe memory      prints what the system counts of the bar's process: "private=…
//                         working_set=… commit=… handles=… gdi=… user=…" (bytes, then
//                         counts); "-" for what the system does not count
//   bar_probe tray-right  a right press on the notification-area icon, as the shell reports it
//   bar_probe bar-right   a right click on the bar, as the system reports it
//   bar_probe menu        prints "open" while a popup menu is on the screen, else "closed"
//   bar_probe key NAME    presses and releases a key: up, down, enter or escape
//   bar_probe rect        prints the bar's left, top, width and height
//   bar_probe move L T    puts the bar there
//   bar_probe displaychange  the screens changed, as the system says it: the primary
//                         screen's bits per pixel and size
//   bar_probe workarea    the work area changed, as the system says it
//   bar_probe drag DX DY  drags the bar by its label with the left button, as the user does
//   bar_probe dblclick    a double click on the label
//   bar_probe shown       prints "shown" or "hidden"
//   bar_probe decoy SECONDS  another program's window of class "TFormMain", above the bar,
//                         answering only what any window does, for that long at most
//   bar_probe decoy-end   closes it
//   bar_probe link PATH   prints a shell link's target, arguments, working folder and
//                         description as the shell reads them, and its show command, a line each
//   bar_probe link PATH TARGET  writes a link to TARGET there, as another program might
// Exits 1 when there is no bar (or no link), 2 on a wrong command line.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/win_gui_test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

constexpr UINT kTrayIconMessage = WM_USER + 1;
constexpr UINT kTrayIconId = 1;
constexpr UINT_PTR kTimer1 = 1;

// The label's colour as drawn on the screen: pure green or pure red text, or neither.
const char* LabelColour(HWND label) {
  RECT r = {};
  GetWindowRect(label, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return "none";
  HDC screen = GetDC(nullptr);
  const std::vector<std::uint32_t> pixels = kestrion::test::DrawnPixels(width, height, [&](HDC dc) {
    BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  });
  ReleaseDC(nullptr, screen);
  const auto count = [&pixels](std::uint32_t colour) {
    return std::count(pixels.begin(), pixels.end(), colour);
  };
  const auto green = count(0x00FF00);
  const auto red = count(0xFF0000);
  return green > red ? "green" : red > green ? "red" : "none";
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

void PressKey(WORD key) {
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = key;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

std::wstring Wide(const char* text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
  out.resize(out.size() - 1);
  return out;
}

int Link(const char* path, const char* target) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))) ||
      FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    return 1;
  }
  int status = 0;
  if (target != nullptr) {
    link->SetPath(Wide(target).c_str());
    status = SUCCEEDED(file->Save(Wide(path).c_str(), TRUE)) ? 0 : 1;
  } else if (SUCCEEDED(file->Load(Wide(path).c_str(), STGM_READ))) {
    wchar_t text[4][MAX_PATH] = {};
    link->GetPath(text[0], MAX_PATH, nullptr, 0);
    link->GetArguments(text[1], MAX_PATH);
    link->GetWorkingDirectory(text[2], MAX_PATH);
    link->GetDescription(text[3], MAX_PATH);
    for (const auto& line : text) std::printf("%s\n", Utf8(line).c_str());
    // The link object reads SW_SHOW back as normal: the show command as the header holds it.
    unsigned char show[4] = {};
    if (FILE* stored = _wfopen(Wide(path).c_str(), L"rb")) {
      std::fseek(stored, 0x3C, SEEK_SET);
      if (std::fread(show, 1, sizeof show, stored) != sizeof show) status = 1;
      std::fclose(stored);
    }
    std::printf("%d\n", show[0] | show[1] << 8 | show[2] << 16 | show[3] << 24);
  } else {
    status = 1;
  }
  file->Release();
  link->Release();
  return status;
}

LRESULT CALLBACK DecoyProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

int Decoy(int seconds) {
  WNDCLASSW type = {};
  type.lpfnWndProc = DecoyProc;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"TFormMain";
  RegisterClassW(&type);
  const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"TFormMain", L"decoy",
                                      WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr, nullptr,
                                      type.hInstance, nullptr);
  SetTimer(window, 1, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER) {
    DispatchMessageW(&message);
  }
  return 0;
}

// The handles a process holds, from the system's list of every open handle: Wine keeps no
// count of its own (GetProcessHandleCount says 0) but lists them all.
unsigned long long ListedHandles(DWORD pid) {
  struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
    PVOID object;
    ULONG_PTR process;
    ULONG_PTR handle;
    ULONG access;
    USHORT backtrace;
    USHORT type;
    ULONG attributes;
    ULONG reserved;
  };
  struct List {
    ULONG_PTR count;
    ULONG_PTR reserved;
    Entry entries[1];
  };
  constexpr ULONG kExtendedHandleInformation = 64;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
  if (query == nullptr) return 0;
  std::vector<char> buffer(1 << 16);
  ULONG needed = 0;
  LONG status = 0;
  while ((status = query(kExtendedHandleInformation, buffer.data(),
                         static_cast<ULONG>(buffer.size()), &needed)) == kInfoLengthMismatch) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return 0;
  const auto* list = reinterpret_cast<const List*>(buffer.data());
  return static_cast<unsigned long long>(
      std::count_if(list->entries, list->entries + list->count,
                    [pid](const Entry& entry) { return entry.process == pid; }));
}

// What the system counts of the bar's process. A live process with windows never has none of
// any of them: a count of 0 is one the system does not keep (Wine keeps no private bytes, and
// GetGuiResources is a stub there).
int Memory(HWND bar) {
  DWORD pid = 0;
  GetWindowThreadProcessId(bar, &pid);
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) return 1;
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  DWORD counted_handles = 0;
  GetProcessHandleCount(process, &counted_handles);
  const unsigned long long handles = counted_handles != 0 ? counted_handles : ListedHandles(pid);
  const bool counted = GetProcessMemoryInfo(
      process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  const auto shown = [](unsigned long long count) {
    return count == 0 ? std::string("-") : std::to_string(count);
  };
  if (counted) {
    std::printf("private=%s working_set=%s commit=%s handles=%s gdi=%s user=%s\n",
                shown(counters.PrivateUsage).c_str(), shown(counters.WorkingSetSize).c_str(),
                shown(counters.PagefileUsage).c_str(), shown(handles).c_str(),
                shown(GetGuiResources(process, GR_GDIOBJECTS)).c_str(),
                shown(GetGuiResources(process, GR_USEROBJECTS)).c_str());
  }
  CloseHandle(process);
  return counted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc >= 2 ? argv[1] : "";
  if (command == "link" && (argc == 3 || argc == 4))
    return Link(argv[2], argc == 4 ? argv[3] : nullptr);
  if (command == "decoy" && argc == 3) return Decoy(std::atoi(argv[2]));
  if (command == "decoy-end") {
    const HWND decoy = FindWindowW(L"TFormMain", L"decoy");
    return decoy != nullptr && PostMessageW(decoy, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  const HWND bar = FindWindowW(L"TFormMain", nullptr);
  if (bar == nullptr) {
    std::puts("no bar");
    return 1;
  }
  DWORD_PTR answer = 0;
  if (command == "ping") {
    const auto start = std::chrono::steady_clock::now();
    const LRESULT answered = SendMessageTimeoutW(bar, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
    const auto took = std::chrono::steady_clock::now() - start;
    if (answered == 0) {
      std::puts("hung");
    } else {
      std::printf("%lld\n",
                  static_cast<long long>(
                      std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    }
  } else if (command == "endsession") {
    SendMessageTimeoutW(bar, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
    SendMessageTimeoutW(bar, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
  } else if (command == "close") {
    PostMessageW(bar, WM_CLOSE, 0, 0);
  } else if (command == "label") {
    const HWND label = FindWindowExW(bar, nullptr, L"TLabel", nullptr);
    wchar_t text[512] = {};
    GetWindowTextW(label, text, 512);
    std::printf("%s %s\n", LabelColour(label), Utf8(text).c_str());
  } else if (command == "tick") {
    PostMessageW(bar, WM_TIMER, kTimer1, 0);
  } else if (command == "ticks" && argc == 4) {
    for (int i = std::atoi(argv[2]); i > 0; --i) {
      PostMessageW(bar, WM_TIMER, kTimer1, 0);
      Sleep(static_cast<DWORD>(std::atoi(argv[3])));
    }
  } else if (command == "memory") {
    return Memory(bar);
  } else if (command == "tray-right") {
    PostMessageW(bar, kTrayIconMessage, kTrayIconId, WM_RBUTTONDOWN);
    PostMessageW(bar, kTrayIconMessage, kTrayIconId, WM_RBUTTONUP);
  } else if (command == "bar-right") {
    RECT r = {};
    GetWindowRect(bar, &r);
    PostMessageW(bar, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(bar),
                 MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  } else if (command == "menu") {
    const HWND menu = FindWindowW(L"#32768", nullptr);
    std::puts(menu != nullptr && IsWindowVisible(menu) ? "open" : "closed");
  } else if (command == "key" && argc == 3) {
    const std::map<std::string, WORD> keys = {
        {"up", VK_UP}, {"down", VK_DOWN}, {"enter", VK_RETURN}, {"escape", VK_ESCAPE}};
    const auto key = keys.find(argv[2]);
    if (key == keys.end()) return 2;
    PressKey(key->second);
  } else if (command == "rect") {
    RECT r = {};
    GetWindowRect(bar, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  } else if (command == "drag" && argc == 4) {
    const HWND label = FindWindowExW(bar, nullptr, L"TLabel", nullptr);
    RECT r = {};
    GetClientRect(label, &r);
    const int x = r.right / 2;
    const int y = r.bottom / 2;
    SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    const int to_x = x + std::atoi(argv[2]);
    const int to_y = y + std::atoi(argv[3]);
    SendMessageW(label, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to_x, to_y));
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(to_x, to_y));
  } else if (command == "dblclick") {
    const HWND label = FindWindowExW(bar, nullptr, L"TLabel", nullptr);
    SendMessageW(label, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  } else if (command == "shown") {
    std::puts(IsWindowVisible(bar) ? "shown" : "hidden");
  } else if (command == "move" && argc == 4) {
    SetWindowPos(bar, nullptr, std::atoi(argv[2]), std::atoi(argv[3]), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (command == "displaychange") {
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    SendMessageTimeoutW(bar, WM_DISPLAYCHANGE, bits,
                        MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)),
                        SMTO_NORMAL, 5000, &answer);
  } else if (command == "workarea") {
    SendMessageTimeoutW(bar, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0, SMTO_NORMAL, 5000, &answer);
  } else {
    std::puts(
        "usage: bar_probe ping|endsession|close|label|tick|ticks N "
        "MS|memory|tray-right|bar-right|menu|"
        "key NAME|rect|move LEFT TOP|displaychange|workarea|drag DX DY|dblclick|shown|"
        "decoy SECONDS|decoy-end|link PATH [TARGET]");
    return 2;
  }
  return 0;
}
