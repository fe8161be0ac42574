#pragma once

#include <string>

namespace kestrion {

// One GET of an http or https address (Windows-1251 bytes), sent as HTTP/1.0 with the agent
// and referrer "Kestrion" and "Pragma: no-cache", through the system's proxy, with no cache
// and no cookies. Certificates from untrusted issuers, for other names or out of date are
// accepted; a request for a client certificate is answered with none. The status code is not
// looked at: an error page is a body like any other.
//
// Returns the whole body, at most kMaxReplyBytes. Raises Exception ("<step> failed with error
// <code>: <text>") when the address cannot be split, the request cannot be sent, the body
// cannot be read to its end or is longer than that. On Linux a request ends within
// kConnectTimeoutSeconds to connect and kRequestTimeoutSeconds in all.
std::string HttpGet(const std::string& address);

inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;
inline constexpr long kConnectTimeoutSeconds = 10;
inline constexpr long kRequestTimeoutSeconds = 15;

// Bounds of one request, milliseconds: to connect, and for the whole request. On Windows
// `total_ms` bounds each send and each read.
struct HttpTimeouts {
  long connect_ms = kConnectTimeoutSeconds * 1000;
  long total_ms = kRequestTimeoutSeconds * 1000;
};

// HttpGet with other bounds; a separate name, so that HttpGet stays one function to pass
// around. Tests use it not to wait the program's own bounds for a stall.
std::string HttpGetWithin(const std::string& address, const HttpTimeouts& timeouts);

// Whether the system has a network connection of any kind.
bool IsInternetConnected();

}  // namespace kestrion
