#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kestrion {

// The program's UTF-8 texts at the edge of the wide Windows calls.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// A window's or control's text (GetWindowTextW), wide or as UTF-8.
std::wstring WindowText(HWND window);
std::string WindowTextUtf8(HWND window);

// The system's text for an error code (FormatMessage from the system), as UTF-8; "" when it
// has none.
std::string SystemErrorText(unsigned long code);

}  // namespace kestrion
