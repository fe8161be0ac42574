#pragma once

#include <string>

namespace kestrion {

// "<call> failed with error <code>: <system text>", sized so that it is never cut.
std::string ApiErrorMessage(const std::string& call, int code, const std::string& system_text);

// Raises Exception with ApiErrorMessage. The platform's HTTP client passes the name of the
// step that failed ("InternetOpen", "InternetCrackUrl", "InternetConnect", "HttpOpenRequest",
// "HttpSendRequest", "InternetReadFile") with the library's own code and text.
[[noreturn]] void RaiseApiError(const std::string& call, int code, const std::string& system_text);

}  // namespace kestrion
