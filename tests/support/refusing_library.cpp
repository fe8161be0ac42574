// A library that refuses to be loaded. Put beside a program under a system library's name,
// it ends the program's start as soon as the loader takes it instead of the system's. Its code
// runs all the same: it leaves KESTRION_PLANTED_LOADED in the process's environment, for a
// program that looks a library up while it runs and gets nothing either way.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  SetEnvironmentVariableW(L"KESTRION_PLANTED_LOADED", L"1");
  return FALSE;
}
