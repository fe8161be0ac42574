#include "ui/shell_open.h"

#include <windows.h>

#include <shellapi.h>  // after <windows.h>, which it needs

#include "base/text_win.h"
#include "ui/application_win.h"

namespace kestrion {

void OpenAddressFor(HWND owner, const std::string& address) {
  // The default verb, shown normally; what the shell makes of it is not looked at.
  ShellExecuteW(owner, nullptr, Utf8ToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OpenAddress(const std::string& address) { OpenAddressFor(App().window, address); }

}  // namespace kestrion
