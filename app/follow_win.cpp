#include <windows.h>

#include "app/follow.h"

namespace kestrion {

namespace {

FollowLoop* g_loop = nullptr;

// Runs on a thread of the system's: Ctrl+C, Ctrl+Break, the console closed, the session ended.
BOOL WINAPI OnConsoleControl(DWORD) {
  if (g_loop != nullptr) g_loop->End();
  return TRUE;
}

}  // namespace

void WatchFollowRequests(FollowLoop& loop) {
  g_loop = &loop;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

}  // namespace kestrion
