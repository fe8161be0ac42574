// bar_probe: asks a running kestrion.exe's bar from another process, as the system does.
//   bar_probe ping        prints how many milliseconds the bar took to answer WM_NULL, or
//                         "hung" when it did not within 5 s
//   bar_probe endsession  the end of the session, as the system announces it
//   bar_probe close       closes the bar, as the task list does
// Exits 1 when there is no bar, 2 on a wrong command line.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  const std::string command = argc == 2 ? argv[1] : "";
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
  } else {
    std::puts("usage: bar_probe ping|endsession|close");
    return 2;
  }
  return 0;
}
