#include "poll/http_get.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "base/text_win.h"
#include "poll/api_error.h"
#include "poll/send_loop.h"
#include "poll/wininet_win.h"

#include <windows.h>

namespace kestrion {

namespace {

struct InternetHandleCloser {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
// Declared root, connection, request in that order, so they close request first and the root
// last, whichever way HttpGet is left.
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

constexpr const char* kAgent = "Kestrion";

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kRequestFlags == 0x84083100);

// What WinINet is told to ignore once a send reports an untrusted issuer.
constexpr DWORD kIgnoreCertificateFlags = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                          SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                          SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kIgnoreCertificateFlags == 0x3100);

// Read in pieces of this size; the body is collected until the server ends it.
constexpr DWORD kReadPiece = 64 * 1024;

// WinINet's own codes (12000-12175) have their texts in wininet.dll, not in the system's
// message table.
std::string ErrorText(DWORD code) {
  if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                           FORMAT_MESSAGE_FROM_HMODULE,
                       GetModuleHandleW(L"wininet.dll"), code, 0x400,
                       reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owner(text, LocalFree);
    if (length != 0 && text != nullptr) return WideToUtf8(std::wstring_view(text, length));
  }
  return SystemErrorText(code);
}

// Raises the failure of the WinINet call just made. The code is read first, before anything
// else can reach the system and overwrite it.
[[noreturn]] void RaiseLastError(const char* step) {
  const DWORD code = GetLastError();
  RaiseApiError(step, static_cast<int>(code), ErrorText(code));
}

// One part of the cracked address as a text of its own; none at all when the address has no
// such part, since WinINet reads an empty user name differently from a missing one.
std::optional<std::string> Part(const char* start, DWORD length) {
  if (start == nullptr || length == 0) return std::nullopt;
  return std::string(start, length);
}

const char* OrNull(const std::optional<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

void SetTimeout(HINTERNET handle, DWORD option, long milliseconds_wanted) {
  DWORD milliseconds = static_cast<DWORD>(milliseconds_wanted);
  // Should the library refuse it, the poll still works, only bounded by the library's own
  // (much longer) waits.
  InternetSetOptionA(handle, option, &milliseconds, sizeof milliseconds);
}

// The library applies its time-outs to each call, not to a request as a whole; so before
// each call the time-outs become what is left of the request's bound.
class Deadline {
 public:
  explicit Deadline(const HttpTimeouts& timeouts)
      : connect_ms_(timeouts.connect_ms),
        end_(Clock::now() + std::chrono::milliseconds(timeouts.total_ms)) {}

  // Bounds the next call on `handle` by what is left; raises for `step` when nothing is.
  void Bound(HINTERNET handle, const char* step) const {
    const long left = Left();
    if (left <= 0) {
      RaiseApiError(step, ERROR_INTERNET_TIMEOUT, ErrorText(ERROR_INTERNET_TIMEOUT));
    }
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, std::min(connect_ms_, left));
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, left);
    SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, left);
  }

 private:
  using Clock = std::chrono::steady_clock;
  long Left() const {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now()).count());
  }

  long connect_ms_;
  Clock::time_point end_;
};

SendOutcome Send(HINTERNET request) {
  if (HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return {};
  const DWORD code = GetLastError();
  SendOutcome outcome{SendOutcome::kFailed, static_cast<int>(code), ErrorText(code)};
  if (code == ERROR_INTERNET_INVALID_CA) outcome.kind = SendOutcome::kUntrustedIssuer;
  if (code == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED) outcome.kind = SendOutcome::kClientCertNeeded;
  return outcome;
}

void IgnoreUntrustedIssuer(HINTERNET request) {
  DWORD flags = 0;
  DWORD size = sizeof flags;
  InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
  flags |= kIgnoreCertificateFlags;
  InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
}

void SelectNoClientCert(HINTERNET request) {
  DWORD none = 0;
  InternetSetOptionA(request, INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, &none, sizeof none);
}

// The body to its end. A body cut off by the network, or longer than kMaxReplyBytes, is a
// failure: a piece of a reply must never be read as if it were the whole.
std::string ReadWholeBody(HINTERNET request, const Deadline& deadline) {
  std::string body;
  while (true) {
    const std::size_t have = body.size();
    // At most one byte past the limit, which is enough to tell that there is more.
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(kReadPiece, kMaxReplyBytes + 1 - have));
    body.resize(have + wanted);
    DWORD read = 0;
    deadline.Bound(request, "InternetReadFile");
    if (!InternetReadFile(request, body.data() + have, wanted, &read)) {
      RaiseLastError("InternetReadFile");
    }
    body.resize(have + read);
    if (read == 0) break;
    if (body.size() > kMaxReplyBytes) {
      // The library has no code for "too long"; the program's buffer is what is too small.
      RaiseApiError("InternetReadFile", ERROR_INSUFFICIENT_BUFFER,
                    "the reply is longer than " + std::to_string(kMaxReplyBytes) + " bytes");
    }
  }
  // The library reports a connection closed before the announced length as a normal end.
  DWORD announced = 0;
  DWORD size = sizeof announced;
  if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size,
                     nullptr) &&
      body.size() < announced) {
    RaiseApiError("InternetReadFile", ERROR_INTERNET_CONNECTION_ABORTED,
                  ErrorText(ERROR_INTERNET_CONNECTION_ABORTED));
  }
  return body;
}

}  // namespace

// The request handle under way, for Cancel to close from another thread: a call blocked on
// it then returns at once. Whichever closes it first, Get or Cancel, closes it.
struct HttpClient::State {
  std::mutex mutex;
  HINTERNET request = nullptr;
  bool cancelled = false;

  void RaiseIfCancelled() {
    const std::lock_guard lock(mutex);
    if (cancelled) {
      RaiseApiError("HttpSendRequest", ERROR_INTERNET_OPERATION_CANCELLED, "cancelled");
    }
  }
};

HttpClient::HttpClient() : state_(std::make_unique<State>()) {}
HttpClient::~HttpClient() = default;

void HttpClient::Cancel() {
  HINTERNET request = nullptr;
  {
    const std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
    request = std::exchange(state_->request, nullptr);
  }
  // Outside the lock: closing may take a while, and Get must not wait on it to let go.
  if (request != nullptr) InternetCloseHandle(request);
}

std::string HttpGet(const std::string& address) { return HttpClient().Get(address); }

std::string HttpGetWithin(const std::string& address, const HttpTimeouts& timeouts) {
  return HttpClient().Get(address, timeouts);
}

std::string HttpClient::Get(const std::string& address, const HttpTimeouts& timeouts) {
  state_->RaiseIfCancelled();
  const Deadline deadline(timeouts);
  // The system's proxy settings; no proxy or bypass list of our own.
  const InternetHandle root(
      InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!root) RaiseLastError("InternetOpen");
  // Windows hands these down to the connection and the request.
  deadline.Bound(root.get(), "InternetOpen");

  // Lengths of 1 ask for pointers into `address` rather than copies. The size is that of this
  // build's structure: 60 bytes in a 32-bit program, more in a 64-bit one.
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = 1;
  parts.dwUserNameLength = 1;
  parts.dwPasswordLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!InternetCrackUrlA(address.c_str(), static_cast<DWORD>(address.size()), 0, &parts)) {
    RaiseLastError("InternetCrackUrl");
  }
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  // Anything else would be sent an HTTP request on its own port.
  if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP) {
    RaiseApiError("InternetCrackUrl", ERROR_INTERNET_UNRECOGNIZED_SCHEME,
                  ErrorText(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
  }

  InternetHandle connection;
  {
    const auto host = Part(parts.lpszHostName, parts.dwHostNameLength);
    const auto user = Part(parts.lpszUserName, parts.dwUserNameLength);
    const auto password = Part(parts.lpszPassword, parts.dwPasswordLength);
    connection.reset(InternetConnectA(root.get(), OrNull(host), parts.nPort, OrNull(user),
                                      OrNull(password), INTERNET_SERVICE_HTTP, 0, 0));
  }
  if (!connection) RaiseLastError("InternetConnect");

  // Closed here unless Cancel closed it first.
  const auto close_request = [state = state_.get()](HINTERNET handle) {
    bool ours = false;
    {
      const std::lock_guard lock(state->mutex);
      ours = state->request == handle;
      if (ours) state->request = nullptr;
    }
    if (ours) InternetCloseHandle(handle);
  };
  std::unique_ptr<void, decltype(close_request)> request(nullptr, close_request);
  {
    // Path and query as one; with no path the library asks for its default, "/".
    std::optional<std::string> object = Part(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (object && parts.lpszExtraInfo != nullptr) {
      object->append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    }
    request.reset(HttpOpenRequestA(connection.get(), "GET", OrNull(object), "HTTP/1.0", kAgent,
                                   nullptr, kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0),
                                   0));
  }
  if (!request) RaiseLastError("HttpOpenRequest");
  {
    const std::lock_guard lock(state_->mutex);
    if (state_->cancelled) {
      RaiseApiError("HttpSendRequest", ERROR_INTERNET_OPERATION_CANCELLED, "cancelled");
    }
    state_->request = request.get();
  }

  HINTERNET const r = request.get();
  // Wine's WinINet does not hand the root's time-outs down, and waits for the server
  // unbounded otherwise; so they are set on the request before each send too.
  RunSendLoop(
      [r, &deadline] {
        deadline.Bound(r, "HttpSendRequest");
        return Send(r);
      },
      [r] { IgnoreUntrustedIssuer(r); }, [r] { SelectNoClientCert(r); });
  return ReadWholeBody(r, deadline);
}

}  // namespace kestrion
