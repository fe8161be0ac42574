// The test billing server does what the client tests rely on: checked from the outside,
// with plain sockets and a bare OpenSSL client.

#include "tests/server/billing_server.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kSmallReply = R"(<?xml version="1.0"?><r status="ok" summa="42.00"/>)";

// A connected TCP socket to the listener at `url`, closed at the end of its life.
class Connection {
 public:
  explicit Connection(const std::string& url) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~Connection() { close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// What came back for one request: the bytes, when each read returned, how it ended.
struct Exchange {
  std::string received;
  std::vector<Clock::time_point> reads;
  int error = 0;  // errno of the failed read, 0 for an orderly close
};

Exchange Send(const std::string& url, const std::string& target) {
  const Connection connection(url);
  const std::string request = "GET " + target +
                              " HTTP/1.0\r\nUser-Agent: Kestrion\r\nReferer: Kestrion\r\n"
                              "Pragma: no-cache\r\n\r\n";
  EXPECT_EQ(send(connection.fd(), request.data(), request.size(), 0),
            static_cast<ssize_t>(request.size()));
  Exchange exchange;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(connection.fd(), buffer, sizeof buffer, 0);
    if (n <= 0) {
      exchange.error = n < 0 ? errno : 0;
      return exchange;
    }
    exchange.received.append(buffer, static_cast<size_t>(n));
    exchange.reads.push_back(Clock::now());
  }
}

std::string Body(const Exchange& exchange) {
  const size_t end = exchange.received.find("\r\n\r\n");
  return end == std::string::npos ? "" : exchange.received.substr(end + 4);
}

TEST(BillingServer, RecordsTheRequestAsSent) {
  BillingServer server(KESTRION_TEST_DATA);
  const Exchange exchange =
      Send(server.http_url(), "/korvanta/balance_sender?login=demo&pswd=demo&mid=9");
  EXPECT_EQ(Body(exchange),
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
            "<balance status=\"ok\" summa=\"123.45\"/>");

  const std::vector<RecordedRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/korvanta/balance_sender?login=demo&pswd=demo&mid=9");
  EXPECT_EQ(requests[0].version, "HTTP/1.0");
  EXPECT_EQ(requests[0].listener, "http");
  using Header = std::pair<std::string, std::string>;
  EXPECT_EQ(requests[0].headers,
            (std::vector<Header>{
                {"Pragma", "no-cache"}, {"Referer", "Kestrion"}, {"User-Agent", "Kestrion"}}));
}

TEST(BillingServer, SpeaksWindows1251AndServesAsAProxy) {
  BillingServerOptions options;
  options.accounts = {{"иван", "пароль", "5"}};
  BillingServer server(KESTRION_TEST_DATA, options);

  // "иван" and "пароль" in Windows-1251, the way the client sends them.
  EXPECT_EQ(Body(Send(server.http_url(),
                      "/korvanta/balance_sender?login=%E8%E2%E0%ED&pswd=%EF%E0%F0%EE%EB%FC")),
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
            "<balance status=\"ok\" summa=\"5\"/>");
  EXPECT_EQ(Body(Send(server.http_url(), "/korvanta/balance_sender?login=%E8%E2%E0%ED&pswd=")),
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<balance status=\"error\">"
            "\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xEB\xEE\xE3\xE8\xED \xE8\xEB\xE8 "
            "\xEF\xE0\xF0\xEE\xEB\xFC</balance>");

  const std::string target =
      "http://balance.example.net/echo?login=%E8%E2%E0%ED%26&pswd=a%2Bb+c&mid=9";
  EXPECT_EQ(Body(Send(server.http_url(), target)),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<r status=\"ok\">login=иван&amp;;pswd=a+b c;mid=9</r>");
  EXPECT_EQ(server.requests().back().target, target);
}

TEST(BillingServer, PiecesArriveApartAndEndWithTheConnection) {
  BillingServer server(KESTRION_TEST_DATA);
  const Exchange exchange = Send(server.http_url(), "/pieces");
  EXPECT_EQ(Body(exchange), kSmallReply);
  EXPECT_EQ(exchange.received.find("Content-Length"), std::string::npos);
  EXPECT_EQ(exchange.error, 0);
  ASSERT_GE(exchange.reads.size(), 3u);
  EXPECT_GE(exchange.reads.back() - exchange.reads.front(), 350ms);
}

TEST(BillingServer, BigRepliesHaveTheSizeAskedFor) {
  BillingServer server(KESTRION_TEST_DATA);
  const std::string expected = R"(<r status="ok" summa="1">)" + std::string(11, ' ') + "</r>";
  const Exchange with_length = Send(server.http_url(), "/big?bytes=40");
  EXPECT_NE(with_length.received.find("Content-Length: 40\r\n"), std::string::npos);
  EXPECT_EQ(Body(with_length), expected);
  const Exchange without_length = Send(server.http_url(), "/big?bytes=40&chunks=1");
  EXPECT_EQ(without_length.received.find("Content-Length"), std::string::npos);
  EXPECT_EQ(Body(without_length), expected);
}

TEST(BillingServer, ResetListenerResetsWhereOthersCloseShort) {
  BillingServer server(KESTRION_TEST_DATA);
  const Exchange reset = Send(server.http_reset_url(), "/reset");
  EXPECT_NE(reset.received.find("Content-Length: 1000"), std::string::npos);
  EXPECT_EQ(reset.error, ECONNRESET);

  const Exchange short_read = Send(server.http_url(), "/reset");
  EXPECT_EQ(Body(short_read).size(), 100u);
  EXPECT_EQ(short_read.error, 0);
}

TEST(BillingServer, StallsLastUntilTheServerIsDestroyed) {
  auto server = std::make_unique<BillingServer>(KESTRION_TEST_DATA);
  const std::string url = server->http_url();
  std::atomic<int> finished = 0;
  std::vector<Exchange> stalls(4);
  std::vector<std::thread> clients;
  for (size_t i = 0; i < stalls.size(); ++i) {
    clients.emplace_back([&, i] {
      stalls[i] = Send(url, i == 0 ? "/stall-body" : "/stall");
      ++finished;
    });
  }
  const Clock::time_point deadline = Clock::now() + 5s;
  while (server->requests().size() < stalls.size() && Clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(server->requests().size(), stalls.size());

  // Stalled requests leave the other ones served.
  EXPECT_NE(Send(url, "/empty").received.find("200 OK"), std::string::npos);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(finished, 0);

  const Clock::time_point start = Clock::now();
  server.reset();
  for (std::thread& client : clients) client.join();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_EQ(Body(stalls[0]), kSmallReply.substr(0, kSmallReply.size() / 2));
  EXPECT_NE(stalls[1].received.find("503"), std::string::npos);
}

// The certificate a listener shows, and whether it asked for one in return.
struct TlsPeer {
  std::unique_ptr<X509, decltype(&X509_free)> cert{nullptr, X509_free};
  bool asked_for_client_cert = false;
};

TlsPeer Handshake(const std::string& url) {
  TlsPeer peer;
  const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                              SSL_CTX_free);
  SSL_CTX_set_client_cert_cb(ctx.get(), [](SSL* ssl, X509**, EVP_PKEY**) {
    static_cast<TlsPeer*>(SSL_get_app_data(ssl))->asked_for_client_cert = true;
    return 0;  // no certificate to give
  });
  const Connection connection(url);
  const std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
  SSL_set_fd(ssl.get(), connection.fd());
  SSL_set_app_data(ssl.get(), &peer);
  EXPECT_EQ(SSL_connect(ssl.get()), 1) << url;
  peer.cert.reset(SSL_get1_peer_certificate(ssl.get()));
  SSL_shutdown(ssl.get());
  return peer;
}

TEST(BillingServer, CertificatesAreWhatTheirListenersSay) {
  BillingServer server(KESTRION_TEST_DATA);
  const auto valid_now = [](X509* cert) {
    return X509_cmp_current_time(X509_get0_notBefore(cert)) < 0 &&
           X509_cmp_current_time(X509_get0_notAfter(cert)) > 0;
  };
  const auto for_localhost = [](X509* cert) {
    return X509_check_ip_asc(cert, "127.0.0.1", 0) == 1 &&
           X509_check_host(cert, "localhost", 0, 0, nullptr) == 1;
  };

  for (const std::string& url : {server.https_url(), server.https_client_cert_url()}) {
    const TlsPeer peer = Handshake(url);
    ASSERT_TRUE(peer.cert) << url;
    EXPECT_TRUE(valid_now(peer.cert.get()) && for_localhost(peer.cert.get())) << url;
    EXPECT_EQ(X509_check_issued(peer.cert.get(), peer.cert.get()), X509_V_OK) << url;
    EXPECT_EQ(peer.asked_for_client_cert, url == server.https_client_cert_url()) << url;
  }

  const TlsPeer expired = Handshake(server.https_expired_url());
  ASSERT_TRUE(expired.cert);
  EXPECT_LT(X509_cmp_current_time(X509_get0_notAfter(expired.cert.get())), 0);
  EXPECT_TRUE(for_localhost(expired.cert.get()));

  const TlsPeer wrong_name = Handshake(server.https_wrong_name_url());
  ASSERT_TRUE(wrong_name.cert);
  EXPECT_TRUE(valid_now(wrong_name.cert.get()));
  EXPECT_EQ(X509_check_ip_asc(wrong_name.cert.get(), "127.0.0.1", 0), 0);
  EXPECT_EQ(X509_check_host(wrong_name.cert.get(), "localhost", 0, 0, nullptr), 0);
}

}  // namespace
}  // namespace kestrion::test
