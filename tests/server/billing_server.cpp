// The test billing server: real listeners on 127.0.0.1, each with the same routes.
//
// Listeners (each on a port the system picks, unless BillingServerOptions says otherwise):
//   http               plain HTTP
//   https              self-signed certificate for IP:127.0.0.1 and DNS:localhost
//   https-expired      the same names, valid from 30 days ago until yesterday
//   https-wrong-name   valid dates, issued for DNS:wrong-name.invalid only
//   https-client-cert  like https, and asks for a client certificate without requiring one
//   http-reset         like http, but /reset ends with a TCP RST
//   https-slow         the https listener behind a relay that holds every connection 8 s
//                      before passing its bytes on: a TLS handshake that takes most of a
//                      request's bound
//
// Routes (GET). Each also matches in absolute form ("http://balance.example.net/empty"), so
// that a client can use the server as its HTTP proxy:
//   /korvanta/balance_sender?login=&pswd=&mid=
//                      the demo billing: <balance status="ok" summa="..."/> for a known
//                      login with its password, else <balance status="error">Неверный
//                      логин или пароль</balance>; Windows-1251 both ways, like the real one
//   /korvanta/webexecuter?user=&pswd=&midAuth=&module=
//                      the demo's web statistics page, naming the user
//   /echo?login=&pswd=&mid=
//                      <r status="ok">login=L;pswd=P;mid=M</r> with the values as decoded,
//                      read as Windows-1251 and written as UTF-8
//   /reply/NAME        the bytes of DATA/replies/NAME
//   /pieces            a small reply in three writes 200 ms apart, no Content-Length
//   /status/404, /status/500
//                      that status with a small HTML page
//   /empty             200 with an empty body
//   /stall             no answer until the server is destroyed (at most 120 s), then 503
//   /stall-body        headers and half the body, then the same stall, then the connection
//                      closes short
//   /reset             Content-Length 1000, 100 bytes of body, then a RST on http-reset and
//                      an orderly close (a short body) elsewhere
//   /big?bytes=N[&chunks=1]
//                      a well-formed reply of exactly N bytes (40 <= N <= 1 GiB), with
//                      Content-Length, or without it and in pieces when chunks=1
//   /redirect?to=PATH  302 to PATH on the same listener (or to PATH itself if absolute)
//   anything else      404 with a small HTML page
//
// One more listener, http-keep-alive (plain HTTP, not among listeners()), keeps every
// connection open after each answer, whatever the request's HTTP version, so that a client
// that uses a connection again shows it; it serves /reply/NAME and 404 for anything else,
// and records the request line only.
//
// Every request that is parsed is recorded before it is answered, stalls included.

#include "tests/server/billing_server.h"

#include <httplib.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

using namespace std::chrono_literals;
using httplib::Request;
using httplib::Response;

// ---------------------------------------------------------------------------------------
// Listeners and their certificates

struct CertProfile {
  const char* common_name;
  const char* alt_names;  // subjectAltName in openssl.cnf syntax
  long valid_from_days;   // relative to now
  long valid_to_days;
};

constexpr CertProfile kLocalCert{"127.0.0.1", "IP:127.0.0.1,DNS:localhost", -1, 365};
constexpr CertProfile kExpiredCert{"127.0.0.1", "IP:127.0.0.1,DNS:localhost", -30, -1};
constexpr CertProfile kWrongNameCert{"wrong-name.invalid", "DNS:wrong-name.invalid", -1, 365};

struct ListenerPlan {
  const char* name;
  const CertProfile* cert;  // nullptr: plain HTTP
  bool ask_client_cert;
  bool reset_on_failure;  // /reset ends with a RST
};

constexpr std::array<ListenerPlan, 6> kListenerPlans{{
    {"http", nullptr, false, false},
    {"https", &kLocalCert, false, false},
    {"https-expired", &kExpiredCert, false, false},
    {"https-wrong-name", &kWrongNameCert, false, false},
    {"https-client-cert", &kLocalCert, true, false},
    {"http-reset", nullptr, false, true},
}};

// Stalled requests each hold a worker thread; this leaves room for a few at once.
constexpr size_t kWorkerThreads = 16;
constexpr auto kMaxStall = 120s;
constexpr auto kPiecePause = 200ms;
constexpr size_t kBigSlice = 64 * 1024;  // bytes /big writes at a time

template <auto Free>
struct Deleter {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free>>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test server: ") + what + " failed");
}

// A self-signed certificate (X509 v3, SHA-256) for `key`. The subject carries the listener's
// name, so that certificates of different listeners never pass for one another's issuer when
// a client trusts them all.
X509Ptr MakeCertificate(const CertProfile& profile, const char* listener, EVP_PKEY* key) {
  X509Ptr cert(X509_new());
  Check(cert != nullptr, "X509_new");
  Check(X509_set_version(cert.get(), X509_VERSION_3) == 1, "X509_set_version");

  // Random serials: clients refuse two certificates with the same issuer and serial.
  const BignumPtr serial(BN_new());
  Check(serial && BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1 &&
            BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) != nullptr,
        "serial number");

  constexpr long kDay = 24 * 60 * 60;
  Check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), profile.valid_from_days * kDay) &&
            X509_gmtime_adj(X509_getm_notAfter(cert.get()), profile.valid_to_days * kDay),
        "validity");

  X509_NAME* name = X509_get_subject_name(cert.get());
  const auto add_entry = [name](const char* field, const char* value) {
    Check(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(value), -1, -1, 0) == 1,
          "subject name");
  };
  add_entry("O", "Kestrion test billing server");
  add_entry("OU", listener);
  add_entry("CN", profile.common_name);
  Check(X509_set_issuer_name(cert.get(), name) == 1, "issuer name");
  Check(X509_set_pubkey(cert.get(), key) == 1, "X509_set_pubkey");

  // The extensions `openssl req -x509` gives a self-signed certificate, plus the names.
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  const std::array<std::pair<int, const char*>, 3> extensions{{
      {NID_basic_constraints, "critical,CA:TRUE"},
      {NID_subject_key_identifier, "hash"},
      {NID_subject_alt_name, profile.alt_names},
  }};
  for (const auto& [nid, value] : extensions) {
    const ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    Check(extension && X509_add_ext(cert.get(), extension.get(), -1) == 1, "extension");
  }

  Check(X509_sign(cert.get(), key, EVP_sha256()) > 0, "X509_sign");
  return cert;
}

std::string ToPem(X509* cert) {
  const BioPtr bio(BIO_new(BIO_s_mem()));
  Check(bio && PEM_write_bio_X509(bio.get(), cert) == 1, "PEM_write_bio_X509");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

// ---------------------------------------------------------------------------------------
// Texts

// Converts `text` between iconv encodings. Bytes that do not convert become `replacement`:
// tests send odd bytes on purpose.
std::string Recode(std::string_view text, const char* to, const char* from,
                   std::string_view replacement) {
  const iconv_t raw = iconv_open(to, from);
  if (raw == reinterpret_cast<iconv_t>(-1)) {
    throw std::system_error(errno, std::generic_category(), "iconv_open");
  }
  const std::unique_ptr<void, int (*)(iconv_t)> closer(raw, iconv_close);

  std::string out;
  char* in = const_cast<char*>(text.data());  // iconv's signature; it does not write there
  size_t in_left = text.size();
  while (in_left > 0) {
    std::array<char, 256> buffer;
    char* out_next = buffer.data();
    size_t out_left = buffer.size();
    const size_t result = iconv(raw, &in, &in_left, &out_next, &out_left);
    out.append(buffer.data(), out_next);
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      out += replacement;
      ++in;
      --in_left;
    }
  }
  return out;
}

// Escapes for text and attribute values. Tabs and line ends are written as references, which
// keep them where a parser would turn them into spaces (in an attribute) or CR LF into LF;
// other control characters, which XML 1.0 cannot carry at all, become '?'.
std::string XmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
      case '\n':
      case '\r':
        out += "&#" + std::to_string(static_cast<int>(c)) + ";";
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  return out;
}

std::string HtmlPage(int status) {
  const char* title = status == 400   ? "Bad Request"
                      : status == 404 ? "Not Found"
                      : status == 500 ? "Internal Server Error"
                      : status == 503 ? "Service Unavailable"
                                      : "Error";
  return std::string("<html><body><h1>") + title + "</h1></body></html>";
}

constexpr std::string_view kDeclaration1251 = R"(<?xml version="1.0" encoding="windows-1251"?>)";
constexpr std::string_view kWrongCredentials = "Неверный логин или пароль";
constexpr std::string_view kSmallReply = R"(<?xml version="1.0"?><r status="ok" summa="42.00"/>)";
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Bytes [offset, offset + length) of a well-formed reply of exactly `size` bytes (at least
// 29), made up to its size with spaces. Made a slice at a time: tests ask for far more than
// a client will read.
std::string PaddedSlice(size_t size, size_t offset, size_t length) {
  constexpr std::string_view kHead = R"(<r status="ok" summa="1">)";
  constexpr std::string_view kTail = "</r>";
  std::string slice(length, ' ');
  const auto place = [&](std::string_view part, size_t at) {
    for (size_t i = 0; i < part.size(); ++i) {
      if (at + i >= offset && at + i < offset + length) slice[at + i - offset] = part[i];
    }
  };
  place(kHead, 0);
  place(kTail, size - kTail.size());
  return slice;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<size_t> ParseSize(const std::string& text) {
  size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "http://host:port" of an absolute-form target, else nothing.
std::optional<std::string> OriginOf(const std::string& target) {
  const size_t scheme_end = target.find("://");
  if (target.rfind("http", 0) != 0 || scheme_end == std::string::npos) return std::nullopt;
  return target.substr(0, target.find('/', scheme_end + 3));
}

// ---------------------------------------------------------------------------------------
// Connections

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

// Ends the server side of the connection local_port <- remote_port with a TCP RST.
//
// httplib gives a handler no access to its socket, and it ends every connection with
// shutdown() — a FIN — before close(), so SO_LINGER {1, 0} on the socket would show the
// client an orderly end before the RST. Instead find the socket among our descriptors by its
// ports (unique on loopback, even with the client in this process, whose ends are reversed)
// and disconnect it with connect(AF_UNSPEC): Linux then sends a RST at once. httplib's own
// shutdown() and close() later find a dead socket, which does no harm.
void ResetConnection(int local_port, int remote_port) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const std::string name = entry.path().filename().string();
    int fd = -1;
    if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc()) continue;
    sockaddr_storage local{};
    sockaddr_storage remote{};
    socklen_t local_size = sizeof local;
    socklen_t remote_size = sizeof remote;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remote_size) != 0 ||
        PortOf(local) != local_port || PortOf(remote) != remote_port) {
      continue;
    }
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    connect(fd, &unspecified, sizeof unspecified);
    return;
  }
}

// ---------------------------------------------------------------------------------------
// Listeners of our own, below HTTP: keep-alive and slow

// A loopback listener that hands each connection to `serve` on a thread of its own; the
// server's stop shuts every connection down, which ends a serve blocked on it.
class RawListener {
 public:
  using Serve = std::function<void(int connection, int remote_port)>;

  explicit RawListener(Serve serve) : serve_(std::move(serve)) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    Check(fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
              listen(fd_, 16) == 0 &&
              getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0,
          "a listener of our own");
    url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    accepting_ = std::thread([this] { Accept(); });
  }
  ~RawListener() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
      for (const int connection : connections_) shutdown(connection, SHUT_RDWR);
    }
    shutdown(fd_, SHUT_RDWR);  // wakes accept()
    accepting_.join();
    for (std::thread& serving : serving_) serving.join();
    close(fd_);
  }
  RawListener(const RawListener&) = delete;
  RawListener& operator=(const RawListener&) = delete;

  const std::string& url() const { return url_; }

 private:
  void Accept() {
    for (;;) {
      sockaddr_in peer{};
      socklen_t size = sizeof peer;
      const int connection = accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
      const std::lock_guard lock(mutex_);
      if (stopping_) {
        if (connection >= 0) close(connection);
        return;
      }
      if (connection < 0) continue;
      connections_.insert(connection);
      serving_.emplace_back([this, connection, port = ntohs(peer.sin_port)] {
        serve_(connection, port);
        const std::lock_guard inner(mutex_);
        connections_.erase(connection);
        close(connection);
      });
    }
  }

  const Serve serve_;
  int fd_ = -1;
  std::string url_;
  std::mutex mutex_;
  bool stopping_ = false;
  std::set<int> connections_;
  std::vector<std::thread> serving_;
  std::thread accepting_;
};

// httplib closes every connection whose HTTP/1.0 request does not ask to keep it, and this
// client never asks; here a connection stays open until the client closes it or the server
// stops. Each request head goes to `answer`, which gives the whole response.
using Answer = std::function<std::string(const RecordedRequest& request)>;

void ServeKeepingAlive(int connection, int remote_port, const Answer& answer) {
  std::string received;
  for (;;) {
    std::size_t end = 0;
    while ((end = received.find("\r\n\r\n")) == std::string::npos) {
      char chunk[4096];
      const ssize_t n = recv(connection, chunk, sizeof chunk, 0);
      if (n <= 0) return;  // closed by the client, or the server stops
      received.append(chunk, static_cast<std::size_t>(n));
    }
    // The request line is recorded; the headers are not looked at.
    RecordedRequest request;
    request.listener = "http-keep-alive";
    request.remote_port = remote_port;
    std::istringstream(received.substr(0, end)) >> request.method >> request.target >>
        request.version;
    received.erase(0, end + 4);
    const std::string response = answer(request);
    for (std::size_t sent = 0; sent < response.size();) {
      const ssize_t n =
          send(connection, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
}

// Passes bytes both ways between a client's connection and `upstream` until either side
// closes it.
void Relay(int connection, int upstream) {
  pollfd ends[] = {{connection, POLLIN, 0}, {upstream, POLLIN, 0}};
  char chunk[16384];
  while (poll(ends, 2, -1) > 0) {
    for (int from = 0; from < 2; ++from) {
      if (ends[from].revents == 0) continue;
      const ssize_t n = recv(ends[from].fd, chunk, sizeof chunk, 0);
      if (n <= 0 ||
          send(ends[1 - from].fd, chunk, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
        return;
      }
    }
  }
}

int ConnectToLoopback(const std::string& url) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// How long https-slow holds a connection before it relays it.
constexpr std::chrono::seconds kSlowListenerWait{8};

// What a route needs to know about the listener it runs on.
struct Where {
  std::string name;
  std::string url;
  bool reset_on_failure;
};

// ---------------------------------------------------------------------------------------
// Routes that need nothing of the server's state

void Echo(const Request& req, Response& res) {
  // The client sends Windows-1251 bytes; as UTF-8 a test compares them with what it typed.
  const std::string decoded = "login=" + req.get_param_value("login") +
                              ";pswd=" + req.get_param_value("pswd") +
                              ";mid=" + req.get_param_value("mid");
  res.set_content(R"(<?xml version="1.0" encoding="UTF-8"?><r status="ok">)" +
                      XmlEscape(Recode(decoded, "UTF-8", "WINDOWS-1251", kReplacementCharacter)) +
                      "</r>",
                  "text/xml");
}

// The web statistics page of the demo: it greets the user it was opened for.
void StatisticsPage(const Request& req, Response& res) {
  const std::string user =
      Recode(req.get_param_value("user"), "UTF-8", "WINDOWS-1251", kReplacementCharacter);
  res.set_content(
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Статистика"
      "</title></head><body><h1>Статистика абонента " +
          XmlEscape(user) + "</h1><p>Модуль " + XmlEscape(req.get_param_value("midAuth")) +
          "</p></body></html>\n",
      "text/html; charset=utf-8");
}

// The reply document DATA/replies/NAME; nothing for a name that would leave that folder.
std::optional<std::string> ReadReply(const std::filesystem::path& data_dir,
                                     const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos || name.find("..") != std::string::npos)
    return std::nullopt;
  return ReadFile(data_dir / "replies" / name);
}

void Reply(const Request& req, Response& res, const std::filesystem::path& data_dir) {
  const std::optional<std::string> body = ReadReply(data_dir, req.matches[1]);
  if (!body) {
    res.status = 404;
    return;
  }
  res.set_content(*body, "text/xml");
}

void Reset(const Request& req, Response& res, bool abort) {
  constexpr size_t kLength = 1000;
  constexpr size_t kSent = 100;
  res.set_content_provider(kLength, "text/xml",
                           [abort, local = req.local_port, remote = req.remote_port](
                               size_t, size_t, httplib::DataSink& sink) {
                             const std::string sent = PaddedSlice(kLength, 0, kSent);
                             sink.write(sent.data(), sent.size());
                             if (abort) ResetConnection(local, remote);
                             return false;  // close the connection short
                           });
}

void Big(const Request& req, Response& res) {
  constexpr size_t kMin = 40;
  constexpr size_t kMax = size_t{1} << 30;
  const std::optional<size_t> parsed = ParseSize(req.get_param_value("bytes"));
  if (!parsed || *parsed < kMin || *parsed > kMax) {
    res.status = 400;
    return;
  }
  const size_t size = *parsed;
  if (req.get_param_value("chunks") != "1") {
    res.set_content_provider(
        size, "text/xml", [size](size_t offset, size_t left, httplib::DataSink& sink) {
          const std::string slice = PaddedSlice(size, offset, std::min(kBigSlice, left));
          return sink.write(slice.data(), slice.size());
        });
    return;
  }
  res.set_header("Connection", "close");
  res.set_content_provider("text/xml", [size](size_t offset, httplib::DataSink& sink) {
    const size_t length = std::min(kBigSlice, size - offset);
    const std::string slice = PaddedSlice(size, offset, length);
    if (!sink.write(slice.data(), slice.size())) return false;
    if (offset + length == size) sink.done();
    return true;
  });
}

void Redirect(const Request& req, Response& res, const Where& where) {
  const std::string to = req.get_param_value("to");
  if (to.empty()) {
    res.status = 400;
    return;
  }
  // Through a proxy "the same listener" is the host the client asked for.
  const std::string origin = OriginOf(req.target).value_or(where.url);
  res.set_redirect(to.front() == '/' ? origin + to : to, 302);
}

}  // namespace

// ---------------------------------------------------------------------------------------

struct BillingServer::Impl {
  struct Listener {
    std::string name;
    std::string url;
    PkeyPtr key;
    X509Ptr cert;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> finished = false;  // listen_after_bind returned
  };

  Impl(std::string data_dir_in, BillingServerOptions options_in);
  ~Impl() { Stop(); }

  void Stop();
  void Start(const ListenerPlan& plan, Listener& listener);
  void AddRoutes(httplib::Server& server, const Where& where);
  void Record(const Request& req, const std::string& listener);
  void Record(RecordedRequest recorded);
  std::string KeepAliveAnswer(const RecordedRequest& request);
  bool StopRequested(std::chrono::milliseconds wait);  // true when the server is going down
  const Listener& Find(std::string_view name) const;

  // Routes that need the server's state.
  void BalanceSender(const Request& req, Response& res) const;
  void Pieces(Response& res);
  void Stall(Response& res);
  void StallBody(Response& res);

  const std::filesystem::path data_dir;
  const BillingServerOptions options;
  const std::string wrong_credentials_1251;

  mutable std::mutex requests_mutex;
  std::vector<RecordedRequest> requests;

  std::mutex stop_mutex;
  std::condition_variable stop_cv;
  bool stopping = false;

  std::array<Listener, kListenerPlans.size()> listeners;  // an array: threads keep addresses
  std::unique_ptr<RawListener> keep_alive;
  std::unique_ptr<RawListener> https_slow;
};

BillingServer::Impl::Impl(std::string data_dir_in, BillingServerOptions options_in)
    : data_dir(std::move(data_dir_in)),
      options(std::move(options_in)),
      wrong_credentials_1251(Recode(kWrongCredentials, "WINDOWS-1251", "UTF-8", "?")) {
  // A client that hangs up in the middle of an https reply must not end the test process.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    for (size_t i = 0; i < kListenerPlans.size(); ++i) Start(kListenerPlans[i], listeners[i]);
    keep_alive = std::make_unique<RawListener>([this](int connection, int port) {
      ServeKeepingAlive(connection, port, [this](const RecordedRequest& request) {
        return KeepAliveAnswer(request);
      });
    });
    // Every connection waits before the https listener's first byte reaches it.
    https_slow = std::make_unique<RawListener>([this](int connection, int) {
      if (StopRequested(kSlowListenerWait)) return;
      const int upstream = ConnectToLoopback(Find("https").url);
      if (upstream < 0) return;
      Relay(connection, upstream);
      close(upstream);
    });
  } catch (...) {
    Stop();  // no destructor runs for a constructor that throws
    throw;
  }
}

void BillingServer::Impl::Stop() {
  // Wake stalled handlers first: stop() waits for every worker thread to finish.
  {
    const std::lock_guard lock(stop_mutex);
    stopping = true;
  }
  stop_cv.notify_all();
  keep_alive.reset();
  https_slow.reset();
  for (Listener& listener : listeners) {
    if (listener.thread.joinable()) {
      listener.server->stop();
      listener.thread.join();
    }
  }
}

void BillingServer::Impl::Start(const ListenerPlan& plan, Listener& listener) {
  listener.name = plan.name;
  if (plan.cert == nullptr) {
    listener.server = std::make_unique<httplib::Server>();
  } else {
    listener.key.reset(EVP_EC_gen("P-256"));
    Check(listener.key != nullptr, "EVP_EC_gen");
    listener.cert = MakeCertificate(*plan.cert, plan.name, listener.key.get());
    listener.server = std::make_unique<httplib::SSLServer>([&](SSL_CTX& ctx) {
      if (SSL_CTX_use_certificate(&ctx, listener.cert.get()) != 1 ||
          SSL_CTX_use_PrivateKey(&ctx, listener.key.get()) != 1) {
        return false;
      }
      // Without a session id context OpenSSL refuses to resume sessions once peers are
      // verified, and curl resumes sessions.
      constexpr std::string_view kContext = "kestrion";
      SSL_CTX_set_session_id_context(&ctx, reinterpret_cast<const unsigned char*>(kContext.data()),
                                     kContext.size());
      if (plan.ask_client_cert) {
        // Ask, and take any answer, none included: the client's side is what is under test.
        SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER, [](int, X509_STORE_CTX*) { return 1; });
      }
      return true;
    });
  }
  httplib::Server& server = *listener.server;
  Check(server.is_valid(), "TLS set-up");

  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server.set_read_timeout(5s);
  server.set_write_timeout(5s);
  // An idle keep-alive connection holds a worker, and so the destructor, this long.
  server.set_keep_alive_timeout(1);
  // Each write of /pieces must leave as a segment of its own.
  server.set_tcp_nodelay(true);

  const int port =
      options.http_port != 0 && listener.name == "http"
          ? (server.bind_to_port("127.0.0.1", options.http_port) ? options.http_port : -1)
          : server.bind_to_any_port("127.0.0.1");
  Check(port > 0, "binding a port on 127.0.0.1");
  listener.url = (plan.cert ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port);
  AddRoutes(server, Where{listener.name, listener.url, plan.reset_on_failure});

  // The destructor may only stop() a running server (before, stop() does nothing and the
  // thread would run on), so wait for it here.
  listener.thread = std::thread([&listener] {
    listener.server->listen_after_bind();
    listener.finished = true;
  });
  while (!server.is_running() && !listener.finished) std::this_thread::sleep_for(1ms);
  if (!server.is_running()) {
    listener.thread.join();
    Check(false, "listen_after_bind");
  }
}

void BillingServer::Impl::AddRoutes(httplib::Server& server, const Where& where) {
  // Absolute-form targets: the client may be using this server as its proxy.
  const std::string origin = "(?:https?://[^/?#]+)?";
  const auto get = [&](const std::string& path, httplib::Server::Handler handler) {
    server.Get(origin + path, std::move(handler));
  };

  server.set_pre_routing_handler([this, name = where.name](const Request& req, Response&) {
    Record(req, name);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // Error statuses without a body of their own (no route, a bad request) get a small page.
  server.set_error_handler(httplib::Server::HandlerWithResponse([](const Request&, Response& res) {
    if (!res.body.empty() || res.content_provider_) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    res.set_content(HtmlPage(res.status), "text/html");
    return httplib::Server::HandlerResponse::Handled;
  }));

  get("/korvanta/balance_sender", [this](const Request& req, Response& res) {
    if (!options.stall_login.empty() && req.get_param_value("login") == options.stall_login) {
      Stall(res);
    } else {
      BalanceSender(req, res);
    }
  });
  get("/echo", Echo);
  get("/korvanta/webexecuter", StatisticsPage);
  get("/reply/([^/]+)", [this](const Request& req, Response& res) { Reply(req, res, data_dir); });
  get("/pieces", [this](const Request&, Response& res) { Pieces(res); });
  get("/status/(404|500)", [](const Request& req, Response& res) {
    res.status = std::stoi(req.matches[1]);
    res.set_content(HtmlPage(res.status), "text/html");
  });
  get("/empty", [](const Request&, Response& res) { res.set_content("", "text/xml"); });
  get("/stall", [this](const Request&, Response& res) { Stall(res); });
  get("/stall-body", [this](const Request&, Response& res) { StallBody(res); });
  get("/reset", [abort = where.reset_on_failure](const Request& req, Response& res) {
    Reset(req, res, abort);
  });
  get("/big", Big);
  get("/redirect", [where](const Request& req, Response& res) { Redirect(req, res, where); });
}

void BillingServer::Impl::Record(const Request& req, const std::string& listener) {
  RecordedRequest recorded{req.method, req.target, req.version, {}, listener, req.remote_port};
  for (const auto& [name, value] : req.headers) {
    // httplib adds these for its own handlers; the client never sent them.
    if (name == "LOCAL_ADDR" || name == "LOCAL_PORT" || name == "REMOTE_ADDR" ||
        name == "REMOTE_PORT") {
      continue;
    }
    recorded.headers.emplace_back(name, value);
  }
  Record(std::move(recorded));
}

void BillingServer::Impl::Record(RecordedRequest recorded) {
  const std::lock_guard lock(requests_mutex);
  if (options.on_request) options.on_request(recorded);
  requests.push_back(std::move(recorded));
}

std::string BillingServer::Impl::KeepAliveAnswer(const RecordedRequest& request) {
  Record(request);
  const std::string path = request.target.substr(0, request.target.find('?'));
  constexpr std::string_view kReplies = "/reply/";
  const std::optional<std::string> body =
      path.starts_with(kReplies) ? ReadReply(data_dir, path.substr(kReplies.size())) : std::nullopt;
  const std::string status = body ? "200 OK" : "404 Not Found";
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: " +
         std::to_string(body ? body->size() : 0) + "\r\nKeep-Alive: timeout=60\r\n\r\n" +
         body.value_or("");
}

bool BillingServer::Impl::StopRequested(std::chrono::milliseconds wait) {
  std::unique_lock lock(stop_mutex);
  return stop_cv.wait_for(lock, wait, [this] { return stopping; });
}

const BillingServer::Impl::Listener& BillingServer::Impl::Find(std::string_view name) const {
  for (const Listener& listener : listeners) {
    if (listener.name == name) return listener;
  }
  throw std::logic_error("no listener " + std::string(name));
}

void BillingServer::Impl::BalanceSender(const Request& req, Response& res) const {
  // The client sends Windows-1251 bytes; accounts are given in UTF-8.
  const std::string login =
      Recode(req.get_param_value("login"), "UTF-8", "WINDOWS-1251", kReplacementCharacter);
  const std::string password =
      Recode(req.get_param_value("pswd"), "UTF-8", "WINDOWS-1251", kReplacementCharacter);
  std::string body(kDeclaration1251);
  body += '\n';
  const auto account = std::find_if(options.accounts.begin(), options.accounts.end(),
                                    [&](const Account& a) { return a.login == login; });
  if (account != options.accounts.end() && account->password == password) {
    body += R"(<balance status="ok" summa=")" +
            Recode(XmlEscape(account->summa), "WINDOWS-1251", "UTF-8", "?") + R"("/>)";
  } else {
    body += R"(<balance status="error">)" + wrong_credentials_1251 + "</balance>";
  }
  res.set_content(body, "text/xml");
}

void BillingServer::Impl::Pieces(Response& res) {
  // No length: the reply ends when the connection does (the client speaks HTTP/1.0).
  res.set_header("Connection", "close");
  res.set_content_provider("text/xml", [this](size_t, httplib::DataSink& sink) {
    constexpr size_t kCount = 3;
    for (size_t i = 0; i < kCount; ++i) {
      if (i > 0 && StopRequested(kPiecePause)) return false;
      const size_t begin = kSmallReply.size() * i / kCount;
      const size_t end = kSmallReply.size() * (i + 1) / kCount;
      if (!sink.write(kSmallReply.data() + begin, end - begin)) return false;
    }
    sink.done();
    return true;
  });
}

void BillingServer::Impl::Stall(Response& res) {
  StopRequested(kMaxStall);
  res.status = 503;
  res.set_content(HtmlPage(res.status), "text/html");
}

void BillingServer::Impl::StallBody(Response& res) {
  res.set_content_provider(kSmallReply.size(), "text/xml",
                           [this](size_t, size_t, httplib::DataSink& sink) {
                             sink.write(kSmallReply.data(), kSmallReply.size() / 2);
                             StopRequested(kMaxStall);
                             return false;  // close the connection short
                           });
}

// ---------------------------------------------------------------------------------------

BillingServer::BillingServer(std::string data_dir)
    : BillingServer(std::move(data_dir), BillingServerOptions{}) {}

BillingServer::BillingServer(std::string data_dir, BillingServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(data_dir), std::move(options))) {}

BillingServer::~BillingServer() = default;

std::string BillingServer::http_url() const { return impl_->Find("http").url; }
std::string BillingServer::https_url() const { return impl_->Find("https").url; }
std::string BillingServer::https_expired_url() const { return impl_->Find("https-expired").url; }
std::string BillingServer::https_wrong_name_url() const {
  return impl_->Find("https-wrong-name").url;
}
std::string BillingServer::https_client_cert_url() const {
  return impl_->Find("https-client-cert").url;
}
std::string BillingServer::http_reset_url() const { return impl_->Find("http-reset").url; }
std::string BillingServer::http_keep_alive_url() const { return impl_->keep_alive->url(); }
std::string BillingServer::https_slow_url() const {
  const std::string& url = impl_->https_slow->url();
  return "https" + url.substr(url.find(':'));
}

std::vector<std::pair<std::string, std::string>> BillingServer::listeners() const {
  std::vector<std::pair<std::string, std::string>> result;
  for (const auto& listener : impl_->listeners) result.emplace_back(listener.name, listener.url);
  result.emplace_back("https-slow", https_slow_url());
  return result;
}

std::string BillingServer::certificates_pem() const {
  std::string pem;
  for (const auto& listener : impl_->listeners) {
    if (listener.cert) pem += ToPem(listener.cert.get());
  }
  return pem;
}

std::vector<RecordedRequest> BillingServer::requests() const {
  const std::lock_guard lock(impl_->requests_mutex);
  return impl_->requests;
}

void BillingServer::clear_requests() {
  const std::lock_guard lock(impl_->requests_mutex);
  impl_->requests.clear();
}

}  // namespace kestrion::test
