#include "poll/connection_check.h"

#include "poll/wininet_win.h"

namespace kestrion {

bool IsInternetConnected() {
  // Any kind of connection: modem, LAN or proxy. What the call writes back is not looked at.
  DWORD flags = INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY;
  return InternetGetConnectedState(&flags, 0) != FALSE;
}

}  // namespace kestrion
