// HttpGet against the test billing server on loopback: the request on the wire, the whole
// body, certificates, failures and the time bound.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "base/exception.h"
#include "poll/http_get.h"
#include "poll/poll_balance.h"
#include "poll/program_poll.h"
#include "poll/reply_document.h"
#include "tests/poll/http_get_test_support.h"
#include "tests/server/billing_server.h"
#include "tests/settings/fakes.h"
#include "tests/support/stalled_resolver.h"
#include "tests/test_data.h"

namespace kestrion {
namespace {

using Clock = std::chrono::steady_clock;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The error HttpGet raises, or "" when it returns.
std::string FailureOf(const std::string& address) {
  try {
    HttpGet(address);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

class HttpGetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The machine's own proxy settings must not send loopback requests elsewhere.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
      unsetenv(name);
    }
  }

  // Header names (lower case) and values of the one request the server got.
  std::map<std::string, std::string> OnlyRequestHeaders() {
    const auto requests = server_.requests();
    EXPECT_EQ(requests.size(), 1u);
    std::map<std::string, std::string> headers;
    if (requests.empty()) return headers;
    for (const auto& [name, value] : requests.front().headers) {
      const std::string key = Lower(name);
      // cpp-httplib files the peer's addresses among the headers.
      if (key.starts_with("remote_") || key.starts_with("local_")) continue;
      headers[key] = value;
    }
    return headers;
  }

  test::BillingServer server_{KESTRION_TEST_DATA};
};

TEST_F(HttpGetTest, SendsOneHttp10GetWithOnlyItsOwnHeaders) {
  const std::string body = HttpGet(server_.http_url() + "/reply/ok_summa.xml?login=a&mid=9");
  EXPECT_EQ(body, test::ReadDataFile("replies/ok_summa.xml"));
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].version, "HTTP/1.0");
  EXPECT_EQ(requests[0].target, "/reply/ok_summa.xml?login=a&mid=9");
  const auto headers = OnlyRequestHeaders();
  EXPECT_EQ(headers.at("user-agent"), "Kestrion");
  EXPECT_EQ(headers.at("referer"), "Kestrion");
  EXPECT_EQ(headers.at("pragma"), "no-cache");
  EXPECT_EQ(headers.size(), 4u) << "only Host besides our three";
  EXPECT_TRUE(headers.count("host"));
}

TEST_F(HttpGetTest, ReturnsTheWholeBodyWhateverItsStatusOrPieces) {
  EXPECT_EQ(HttpGet(server_.http_url() + "/pieces"),
            R"(<?xml version="1.0"?><r status="ok" summa="42.00"/>)");
  EXPECT_NE(HttpGet(server_.http_url() + "/status/404").find("Not Found"), std::string::npos);
  EXPECT_NE(HttpGet(server_.http_url() + "/status/500").find("<html>"), std::string::npos);
  EXPECT_EQ(HttpGet(server_.http_url() + "/empty"), "");
  EXPECT_EQ(HttpGet(server_.http_url() + "/redirect?to=/reply/error_empty.xml"),
            test::ReadDataFile("replies/error_empty.xml"));
  // Credentials sent over https never go on in clear; from http, or within https, they do.
  const std::string to_http = server_.http_url() + "/reply/error_empty.xml";
  const std::string to_https = server_.https_url() + "/reply/error_empty.xml";
  server_.clear_requests();
  EXPECT_NE(FailureOf(server_.https_url() + "/redirect?to=" + to_http), "");
  ASSERT_EQ(server_.requests().size(), 1u) << "not followed";
  EXPECT_EQ(FailureOf(server_.http_url() + "/redirect?to=" + to_https), "");
  EXPECT_EQ(FailureOf(server_.https_url() + "/redirect?to=" + to_https), "");
}

TEST_F(HttpGetTest, AcceptsAMebibyteAndRefusesMore) {
  constexpr auto kMax = static_cast<long>(kMaxReplyBytes);
  EXPECT_EQ(HttpGet(server_.http_url() + "/big?bytes=" + std::to_string(kMax)).size(),
            kMaxReplyBytes);
  EXPECT_EQ(FailureOf(server_.http_url() + "/big?bytes=" + std::to_string(kMax + 1))
                .rfind("InternetReadFile failed with error 23: ", 0),
            0u);
  // A huge body without a length is cut off as soon as it passes the limit.
  EXPECT_EQ(FailureOf(server_.http_url() + "/big?chunks=1&bytes=" + std::to_string(64 * kMax))
                .rfind("InternetReadFile failed with error 23: ", 0),
            0u);
}

TEST_F(HttpGetTest, ABodyCutShortIsAFailureNotAReply) {
  // A reset can overtake the headers in the socket and fail the send instead: a failure
  // either way, never a reply.
  const std::string reset = FailureOf(server_.http_reset_url() + "/reset");
  EXPECT_TRUE(reset.rfind("InternetReadFile failed", 0) == 0 ||
              reset.rfind("HttpSendRequest failed", 0) == 0)
      << reset;
  EXPECT_EQ(FailureOf(server_.http_url() + "/reset").rfind("InternetReadFile failed", 0), 0u);
}

// How many sockets of this process are connected to `port` on loopback: the client's ends of
// its connections to an in-process server listening there.
int SocketsConnectedTo(int port) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    const int fd = std::atoi(entry.path().filename().c_str());
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == port) {
      ++count;
    }
  }
  return count;
}

// The poll thread's kept client too, twice at each listener. Each request has a connection of
// its own, closed after it, also where the server would keep it open.
TEST_F(HttpGetTest, AcceptsEveryCertificateTheServerHas) {
  const std::string expected = test::ReadDataFile("replies/error_text.xml");
  HttpClient kept;
  for (const std::string& base :
       {server_.https_url(), server_.https_expired_url(), server_.https_wrong_name_url(),
        server_.https_client_cert_url()}) {
    SCOPED_TRACE(base);
    server_.clear_requests();
    EXPECT_EQ(HttpGet(base + "/reply/error_text.xml"), expected);
    const auto one_off = OnlyRequestHeaders();
    for (int i = 0; i < 2; ++i) {
      server_.clear_requests();
      EXPECT_EQ(kept.Get(base + "/reply/error_text.xml"), expected);
      EXPECT_EQ(OnlyRequestHeaders(), one_off);
    }
  }
  server_.clear_requests();
  const std::string keep_alive = server_.http_keep_alive_url();
  const int keep_alive_port = std::atoi(keep_alive.substr(keep_alive.rfind(':') + 1).c_str());
  std::set<int> ports;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(kept.Get(keep_alive + "/reply/error_text.xml"), expected);
    EXPECT_EQ(SocketsConnectedTo(keep_alive_port), 0) << "a connection kept open after its request";
  }
  for (const auto& request : server_.requests()) ports.insert(request.remote_port);
  EXPECT_EQ(ports.size(), 2u) << "a connection used again";
  // Nor is a name kept: a host that moves is found by the next request.
  setenv("KESTRION_LOOPBACK_HOST", "balance.example.net", 1);
  const std::string by_name = "http://balance.example.net:" + server_.http_url().substr(17);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(kept.Get(by_name + "/reply/error_text.xml"), expected);
  EXPECT_EQ(StalledResolverLookups("balance.example.net"), 2);
}

// The name lookups of these tests that never answer.
constexpr const char* kStalledHost = "stalled.example.net";

// A name found only after most of a request's bound, and never again.
constexpr const char* kSlowHost = "slow.example.net";
constexpr int kSlowSeconds = 8;  // within the connect bound

void StallLookups() {
  setenv("KESTRION_STALLED_HOST", kStalledHost, 1);
  setenv("KESTRION_STALL_SECONDS", "22", 1);
  setenv("KESTRION_SLOW_HOST", kSlowHost, 1);
  setenv("KESTRION_SLOW_SECONDS", std::to_string(kSlowSeconds).c_str(), 1);
}

// A server that does not answer, and a name lookup that does not. Each is cancelled only
// once it is seen under way (the request at the server, the lookup at the resolver): a
// cancel that came first would refuse the request at its start with the same message.
TEST_F(HttpGetTest, CancelEndsTheRequestUnderWayAtOnceAndEveryLaterOne) {
  StallLookups();
  server_.clear_requests();
  const int lookups = StalledResolverLookups(kStalledHost);
  const std::function<bool()> under_way[] = {
      [&] { return !server_.requests().empty(); },
      [&] { return StalledResolverLookups(kStalledHost) > lookups; }};
  const std::string addresses[] = {server_.https_url() + "/stall",
                                   "http://" + std::string(kStalledHost) + "/"};
  for (int i = 0; i < 2; ++i) {
    const std::string& address = addresses[i];
    SCOPED_TRACE(address);
    HttpClient client;
    auto stalled = std::async(std::launch::async, [&] {
      try {
        client.Get(address);
      } catch (const Exception& e) {
        return std::string(e.what());
      }
      return std::string();
    });
    for (int wait = 0; wait < 500 && !under_way[i](); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool began = under_way[i]();
    const auto start = Clock::now();
    client.Cancel();
    ASSERT_TRUE(began) << "the request was not under way within 5 s";
    ASSERT_EQ(stalled.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(stalled.get(), "HttpSendRequest failed with error 42: cancelled");
    server_.clear_requests();
    EXPECT_THROW(client.Get(server_.http_url() + "/reply/ok_summa.xml"), Exception);
    EXPECT_TRUE(server_.requests().empty());
  }
}

TEST_F(HttpGetTest, AddressPartsReachTheServer) {
  // No path: the server's root.
  HttpGet(server_.http_url());
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_EQ(server_.requests()[0].target, "/");
  server_.clear_requests();
  // User name and password before the host are handed to the server.
  const std::string base = server_.http_url();
  HttpGet(base.substr(0, 7) + "user:pass@" + base.substr(7) + "/empty");
  EXPECT_EQ(OnlyRequestHeaders().at("authorization"), "Basic dXNlcjpwYXNz");
}

// A port on loopback that nobody listens on now.
unsigned short FreePort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(probe, reinterpret_cast<sockaddr*>(&addr), len);
  getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
  close(probe);
  return ntohs(addr.sin_port);
}

// A real proxy on loopback, Debian's tinyproxy, with lines of its configuration added.
class Tinyproxy {
 public:
  explicit Tinyproxy(const std::string& extra_config) : port_(FreePort()) {
    config_ = testing::TempDir() + "tinyproxy-" + std::to_string(port_) + ".conf";
    std::ofstream(config_) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 20\n"
                           << "MaxClients 8\nLogLevel Critical\n"
                           << extra_config;
    const char* argv[] = {"tinyproxy", "-d", "-c", config_.c_str(), nullptr};
    EXPECT_EQ(posix_spawnp(&pid_, "tinyproxy", nullptr, nullptr, const_cast<char**>(argv), environ),
              0)
        << "tinyproxy is missing (Debian package tinyproxy)";
    for (int i = 0; i < 200 && !Listening(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Tinyproxy() {
    // tinyproxy may sit out a SIGTERM in a restarted wait: it gets 2 s, then SIGKILL.
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      bool ended = false;
      for (int i = 0; i < 200 && !ended; ++i) {
        ended = waitpid(pid_, nullptr, WNOHANG) == pid_;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    std::remove(config_.c_str());
  }
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  bool Listening() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port_);
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return up;
  }

  unsigned short port_;
  std::string config_;
  pid_t pid_ = 0;
};

TEST_F(HttpGetTest, TheProxyComesFromTheEnvironment) {
  const std::string expected = test::ReadDataFile("replies/error_empty.xml");
  setenv("http_proxy", server_.http_url().c_str(), 1);
  const std::string body = HttpGet("http://balance.example.net/reply/error_empty.xml");
  unsetenv("http_proxy");
  EXPECT_EQ(body, expected);
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_EQ(server_.requests()[0].target, "http://balance.example.net/reply/error_empty.xml");

  // Through a real proxy: plain http, and a tunnel to a self-signed server.
  const Tinyproxy proxy("");
  setenv("http_proxy", proxy.url().c_str(), 1);
  setenv("https_proxy", proxy.url().c_str(), 1);
  EXPECT_EQ(HttpGet(server_.http_url() + "/reply/error_empty.xml"), expected);
  EXPECT_EQ(HttpGet(server_.https_url() + "/reply/error_empty.xml"), expected);
  // A proxy that refuses the tunnel: the request is not sent.
  const Tinyproxy refusing("ConnectPort 1\n");
  setenv("https_proxy", refusing.url().c_str(), 1);
  EXPECT_EQ(FailureOf(server_.https_url() + "/reply/error_empty.xml")
                .rfind("HttpSendRequest failed with error", 0),
            0u);
}

TEST_F(HttpGetTest, FailuresNameTheStepAndTheLibraryCode) {
  // A port nobody listens on: bind one, then close it.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&addr), len), 0);
  getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &len);
  close(probe);
  const std::string closed = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/";
  EXPECT_EQ(FailureOf(closed).rfind("HttpSendRequest failed with error 7: ", 0), 0u);

  EXPECT_EQ(FailureOf("http://[::1/").rfind("InternetCrackUrl failed with error", 0), 0u);
  EXPECT_EQ(FailureOf("no address").rfind("InternetCrackUrl failed with error", 0), 0u);
  EXPECT_EQ(FailureOf("ftp://127.0.0.1/x").rfind("InternetCrackUrl failed with error", 0), 0u);
}

// A listener whose backlog is full: the kernel drops further connection attempts, so a
// client's connect hangs as it would for a host that does not answer.
class SilentListener {
 public:
  SilentListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), len);
    listen(fd_, 0);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    for (int& filler : fillers_) {
      filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      connect(filler, reinterpret_cast<sockaddr*>(&addr), len);
    }
  }
  ~SilentListener() {
    for (const int filler : fillers_) close(filler);
    close(fd_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  int fd_ = -1;
  int fillers_[4] = {};
  unsigned short port_ = 0;
};

TEST_F(HttpGetTest, APollNeverHangsLongerThanItsBound) {
  SilentListener silent;
  StallLookups();
  struct Case {
    std::string address;
    std::string step;
    double min_seconds;
    double max_seconds;
  };
  const std::vector<Case> cases = {
      {silent.url(), "HttpSendRequest failed with error 28", kConnectTimeoutSeconds - 0.5,
       kConnectTimeoutSeconds + 2.0},
      {"http://" + std::string(kStalledHost) + "/", "HttpSendRequest failed with error 28",
       kConnectTimeoutSeconds - 0.5, kConnectTimeoutSeconds + 2.0},
      {server_.http_url() + "/stall", "HttpSendRequest failed with error 28",
       kRequestTimeoutSeconds - 0.5, kRequestTimeoutSeconds + 2.0},
      {server_.http_url() + "/stall-body", "InternetReadFile failed with error 28",
       kRequestTimeoutSeconds - 0.5, kRequestTimeoutSeconds + 2.0},
      {server_.https_url() + "/stall", "HttpSendRequest failed with error 28",
       kRequestTimeoutSeconds - 0.5, kRequestTimeoutSeconds + 2.0},
      // A name found late: the lookup is part of the one bound.
      {"https://" + std::string(kSlowHost) + server_.https_url().substr(17) + "/stall",
       "HttpSendRequest failed with error 28", kRequestTimeoutSeconds - 0.5,
       kRequestTimeoutSeconds + 2.0},
  };
  std::vector<std::string> addresses;
  for (const Case& c : cases) addresses.push_back(c.address);
  const auto runs = test::TimedFailures(addresses);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [failure, seconds] = runs[i];
    SCOPED_TRACE(cases[i].address);
    EXPECT_EQ(failure.rfind(cases[i].step, 0), 0u) << failure;
    EXPECT_GE(seconds, cases[i].min_seconds);
    EXPECT_LE(seconds, cases[i].max_seconds);
  }
}

// Settings as the program keeps them: a login and password stored, the balance address.
struct StoredSettings {
  StoredSettings(const std::string& login, const std::string& password,
                 const std::string& balance_address) {
    store.SetText("login", login);
    store.SetText("pswd", password);
    strings.texts[kBalanceUrlId] = balance_address;
  }
  test::MemoryRegistry store;
  test::FakeStringTable strings;
  Settings settings{store.Factory(), strings};
};

// The whole poll over the network: what the user typed is what the server decodes.
TEST_F(HttpGetTest, APollCarriesCredentialsAsTyped) {
  StoredSettings stored("a&b=c", " #%+/?", server_.http_url() + "/echo");
  std::vector<Status> shown;
  PollServices services;
  services.is_internet_connected = [] { return true; };
  services.settings = &stored.settings;
  services.http_get = HttpGet;
  services.parse_reply = ParseReplyDocument;
  services.show_status = [&](const Status& status) { shown.push_back(status); };
  PollBalance(services);
  EXPECT_EQ(shown, (std::vector<Status>{{"login=a&b=c;pswd= #%+/?;mid=9", true}}));
}

// The program's end through the desktop program's own poll thread: the request it has under
// way at a server that never answers is cancelled on its kept client, so the thread ends
// within the grace and the connection is closed, not left to the request's bound.
TEST_F(HttpGetTest, TheProgramsEndClosesTheConnectionOfAStalledPoll) {
  StoredSettings stored("demo", "demo", server_.http_url() + "/stall");
  // The user-interface thread's queue, served here; it outlives the test for a thread that
  // did not end.
  struct Queue {
    std::mutex mutex;
    std::deque<std::function<void()>> work;
  };
  const auto queue = std::make_shared<Queue>();
  PollFront front;
  front.settings = [&stored] { return &stored.settings; };
  front.show_status = [](const Status&) {};
  TMainThread* thread = StartPollThread(
      [queue](std::function<void()> work) {
        const std::lock_guard lock(queue->mutex);
        queue->work.push_back(std::move(work));
        return true;
      },
      front);
  const auto serve = [&queue] {
    std::function<void()> work;
    {
      const std::lock_guard lock(queue->mutex);
      if (queue->work.empty()) return false;
      work = std::move(queue->work.front());
      queue->work.pop_front();
    }
    work();
    return true;
  };
  for (int wait = 0; wait < 500 && server_.requests().empty(); ++wait) {
    serve();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_FALSE(server_.requests().empty()) << "the poll did not reach the server within 5 s";
  const int port = std::atoi(server_.http_url().substr(17).c_str());
  EXPECT_EQ(SocketsConnectedTo(port), 1);
  const bool ended = EndPollThread(thread);
  EXPECT_TRUE(ended);
  EXPECT_EQ(SocketsConnectedTo(port), 0);
  if (ended) delete thread;  // the program leaves it to the process's end
}

}  // namespace
}  // namespace kestrion
