// A library that refuses to be loaded. Put beside a program under a system library's name,
// it ends the program's start as soon as the loader takes it instead of the system's.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
