#pragma once

#include <memory>
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
// cannot be read to its end or is longer than that. A request ends within
// kConnectTimeoutSeconds to connect and kRequestTimeoutSeconds in all. A client of its own.
std::string HttpGet(const std::string& address);

inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;
inline constexpr long kConnectTimeoutSeconds = 10;
inline constexpr long kRequestTimeoutSeconds = 15;

// Bounds of one request, milliseconds: to connect, and for the whole request, however many
// sends and reads it takes.
struct HttpTimeouts {
  long connect_ms = kConnectTimeoutSeconds * 1000;
  long total_ms = kRequestTimeoutSeconds * 1000;
};

// The poll thread's client: HttpGet's request, with what can be kept between requests kept
// (the certificate store, TLS sessions) while every request still goes out afresh on a new
// connection, with the same bytes and the same certificate rule. Get runs on one thread at
// a time; Cancel may come from any thread.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  std::string Get(const std::string& address, const HttpTimeouts& timeouts = {});
  // The Get under way returns at once, and every later one at its start, each raising
  // "HttpSendRequest failed with error <code>: cancelled". For the end of the program.
  void Cancel();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// HttpGet with other bounds; a separate name, so that HttpGet stays one function to pass
// around. Tests use it not to wait the program's own bounds for a stall.
std::string HttpGetWithin(const std::string& address, const HttpTimeouts& timeouts);

}  // namespace kestrion
