#pragma once

#include <string>

namespace kestrion {

// Opens an address (UTF-8, already encoded as it should travel) with the user's default
// program for it, such as the web browser or the mail program. Failures are not reported.
void OpenAddress(const std::string& address);

}  // namespace kestrion
