#include "app/library_search.h"

#include <windows.h>

namespace kestrion {

void RestrictLibrarySearch() {
  // Looked up, not imported: a Windows 7 without its 2011 loader update lacks it and must
  // still start. There the current folder at least leaves the search.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto set_default =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set_default == nullptr || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace kestrion
