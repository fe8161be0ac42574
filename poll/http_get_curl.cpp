#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include <strings.h>

#include "poll/api_error.h"
#include "poll/http_get.h"

namespace kestrion {

namespace {

struct CurlEasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct CurlUrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlSlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlFree {
  void operator()(char* text) const { curl_free(text); }
};
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiCleanup>;
using CurlUrlPtr = std::unique_ptr<CURLU, CurlUrlCleanup>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistFree>;
using CurlTextPtr = std::unique_ptr<char, CurlFree>;

constexpr const char* kAgent = "Kestrion";
constexpr const char* kCancelledText = "cancelled";

// What one transfer collects. `headers_done` tells a failure while sending (no complete
// response head yet) from one while reading the body.
struct Transfer {
  std::string body;
  bool headers_done = false;
  bool too_long = false;
  int status = 0;         // of the response head being read
  bool location = false;  // it names where to go next
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (transfer->body.size() + bytes > kMaxReplyBytes) {
    transfer->too_long = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  transfer->body.append(data, bytes);
  return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  // Every response (a redirect, a 100 Continue, the final one) starts with a status line and
  // ends with an empty line. A redirect that is followed is not the server's answer yet: the
  // next address is still to be sent to, and may fail.
  if (line.starts_with("HTTP/")) {
    transfer->headers_done = false;
    transfer->location = false;
    const std::size_t space = line.find(' ');
    transfer->status = space == std::string_view::npos ? 0 : std::atoi(line.data() + space + 1);
  } else if (line.size() > 9 && strncasecmp(line.data(), "location:", 9) == 0) {
    transfer->location = true;
  } else if (line == "\r\n" || line == "\n") {
    const int s = transfer->status;
    const bool followed =
        transfer->location && (s == 301 || s == 302 || s == 303 || s == 307 || s == 308);
    transfer->headers_done = s >= 200 && !followed;
  }
  return size * count;
}

std::string ErrorText(CURLcode code, const char* detail) {
  return detail[0] != '\0' ? std::string(detail) : std::string(curl_easy_strerror(code));
}

void SetUpCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Splits the address as the request needs it; only http and https are fetched.
CurlUrlPtr CrackUrl(const std::string& address) {
  CurlUrlPtr url(curl_url());
  if (!url) RaiseApiError("InternetCrackUrl", CURLUE_OUT_OF_MEMORY, "out of memory");
  const CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0);
  if (rc != CURLUE_OK) RaiseApiError("InternetCrackUrl", rc, curl_url_strerror(rc));
  char* raw_scheme = nullptr;
  curl_url_get(url.get(), CURLUPART_SCHEME, &raw_scheme, 0);
  const CurlTextPtr scheme(raw_scheme);
  if (!scheme ||
      (std::strcmp(scheme.get(), "http") != 0 && std::strcmp(scheme.get(), "https") != 0)) {
    RaiseApiError("InternetCrackUrl", CURLUE_UNSUPPORTED_SCHEME,
                  curl_url_strerror(CURLUE_UNSUPPORTED_SCHEME));
  }
  return url;
}

bool IsHttps(CURLU* url) {
  char* raw_scheme = nullptr;
  curl_url_get(url, CURLUPART_SCHEME, &raw_scheme, 0);
  const CurlTextPtr scheme(raw_scheme);
  return scheme && std::strcmp(scheme.get(), "https") == 0;
}

}  // namespace

// One easy handle, kept: its TLS session cache outlives a request. Each request is a transfer of
// its own on the multi handle, so that Cancel can wake it from another thread.
struct HttpClient::State {
  CurlEasyPtr easy;
  CurlMultiPtr multi;
  std::atomic<bool> cancelled = false;

  // One transfer to its end: CURLE_OK or why it failed.
  CURLcode Perform() {
    if (cancelled) return CURLE_ABORTED_BY_CALLBACK;
    if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
        break;
      }
      if (running == 0) {
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
          if (message->msg == CURLMSG_DONE) result = message->data.result;
        }
        break;
      }
      if (cancelled) {
        result = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      // Woken early by the sockets, the transfer's own timers or Cancel.
      curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy.get());
    return cancelled ? CURLE_ABORTED_BY_CALLBACK : result;
  }
};

HttpClient::HttpClient() : state_(std::make_unique<State>()) {
  SetUpCurl();
  state_->easy.reset(curl_easy_init());
  state_->multi.reset(curl_multi_init());
}

HttpClient::~HttpClient() = default;

void HttpClient::Cancel() {
  state_->cancelled = true;
  if (state_->multi) curl_multi_wakeup(state_->multi.get());
}

std::string HttpGet(const std::string& address) { return HttpClient().Get(address); }

std::string HttpGetWithin(const std::string& address, const HttpTimeouts& timeouts) {
  return HttpClient().Get(address, timeouts);
}

std::string HttpClient::Get(const std::string& address, const HttpTimeouts& timeouts) {
  if (!state_->easy || !state_->multi) {
    RaiseApiError("InternetOpen", CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
  }
  CURL* const h = state_->easy.get();
  // Nothing of a request's options outlives it, nor the buffers below that the handle points
  // to.
  curl_easy_reset(h);
  struct ResetAtEnd {
    CURL* h;
    ~ResetAtEnd() { curl_easy_reset(h); }
  } reset_at_end{h};

  const CurlUrlPtr url = CrackUrl(address);
  // HTTP/1.0 with exactly our three headers beside Host: curl's own Accept is taken out, and
  // no Accept-Encoding, cookies or Expect are ever added since nothing asks for them.
  curl_slist* raw_headers = curl_slist_append(nullptr, "Pragma: no-cache");
  if (raw_headers != nullptr) raw_headers = curl_slist_append(raw_headers, "Accept:");
  const CurlSlistPtr headers(raw_headers);
  // Through a proxy curl would also ask it to keep the connection, which one request a poll
  // has no use for.
  const CurlSlistPtr proxy_headers(curl_slist_append(nullptr, "Proxy-Connection:"));
  if (!headers || !proxy_headers) {
    RaiseApiError("HttpOpenRequest", CURLE_OUT_OF_MEMORY, "out of memory");
  }

  char error_detail[CURL_ERROR_SIZE] = {};
  Transfer transfer;
  curl_easy_setopt(h, CURLOPT_CURLU, url.get());
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(h, CURLOPT_USERAGENT, kAgent);
  curl_easy_setopt(h, CURLOPT_REFERER, kAgent);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_PROXYHEADER, proxy_headers.get());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  // Redirects are followed as the system's client does on its own, but never from https to
  // plain http: the credentials in the address would go on in clear.
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(url.get()) ? "https" : "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // A name is looked up afresh for every request, as a client that keeps nothing would; and a
  // lookup that never answers is left behind when the request ends (by its bound or Cancel),
  // not waited for.
  curl_easy_setopt(h, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
  curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
  // A proxy's answer to the tunnel request is not the server's response head.
  curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // A new connection for every request, closed after it, as a fresh handle would have.
  curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connect_ms);
  // Whatever certificate the server shows is accepted: its issuer, name and dates are never
  // checked. Checking the issuer first would only refuse a certificate that the next send
  // accepts, at the cost of a second handshake with every server whose issuer is not trusted.
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_detail);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);

  // One send, within one bound, so a poll never freezes the bar for longer. Nothing asks for
  // a second: no certificate is refused, and OpenSSL answers a request for a client
  // certificate with none.
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.total_ms));
  const CURLcode result = state_->Perform();
  if (result == CURLE_ABORTED_BY_CALLBACK) {
    RaiseApiError("HttpSendRequest", result, kCancelledText);
  }
  if (result != CURLE_OK && !transfer.headers_done) {
    RaiseApiError("HttpSendRequest", result, ErrorText(result, error_detail));
  }

  // The server answered; a body cut short, reset or too long is still a failure, never a
  // reply to be read as if it were whole.
  if (result != CURLE_OK) {
    const std::string text =
        transfer.too_long ? "the reply is longer than " + std::to_string(kMaxReplyBytes) + " bytes"
                          : ErrorText(result, error_detail);
    RaiseApiError("InternetReadFile", result, text);
  }
  return std::move(transfer.body);
}

}  // namespace kestrion
