// HttpGet over WinINet against the native test billing server on loopback: the request on
// the wire, the whole body, certificates, failures and the time bound.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "poll/http_get.h"
#include "tests/poll/http_get_test_support.h"
#include "tests/test_data.h"
#include "tests/win_test_support.h"

namespace kestrion {
namespace {

using Clock = std::chrono::steady_clock;

// The error HttpGet raises, or "" when it returns.
std::string FailureOf(const std::string& address) {
  try {
    HttpGet(address);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A request the server logged: its listener, its request line and its headers (names in
// lower case).
struct Logged {
  std::string listener;
  std::string line;
  std::map<std::string, std::string> headers;
};

// The server's log outlives one run of the tests, so each run marks its addresses.
const std::string kRun = "run=" + std::to_string(Clock::now().time_since_epoch().count());

// The logged requests whose request line contains `marker`.
std::vector<Logged> RequestsWith(const std::string& marker) {
  std::vector<Logged> found;
  for (const std::string& entry : test::ServerRequests()) {
    std::vector<std::string> fields;
    for (std::size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = entry.find('\t', start);
      fields.push_back(entry.substr(start, tab - start));
    }
    if (fields.size() < 2 || fields[1].find(marker) == std::string::npos) continue;
    Logged request{fields[0], fields[1], {}};
    for (std::size_t i = 2; i < fields.size(); ++i) {
      std::string name = fields[i].substr(0, fields[i].find(": "));
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      request.headers[name] = fields[i].substr(name.size() + 2);
    }
    found.push_back(request);
  }
  return found;
}

TEST(HttpGetWin, SendsOneHttp10GetWithOnlyItsOwnHeaders) {
  const std::string base = test::ServerUrl("http");
  const std::string target = "/reply/ok_summa.xml?login=a&mid=9&" + kRun;
  EXPECT_EQ(HttpGet(base + target), test::ReadDataFile("replies/ok_summa.xml"));
  const auto requests = RequestsWith(target + " ");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].line, "GET " + target + " HTTP/1.0");
  const auto& headers = requests[0].headers;
  EXPECT_EQ(headers.at("user-agent"), "Kestrion");
  EXPECT_EQ(headers.at("referer"), "Kestrion");
  EXPECT_EQ(headers.at("pragma"), "no-cache");
  // The port of the address, and nothing else of the library's own beside Host.
  EXPECT_EQ(headers.at("host"), base.substr(std::string("http://").size()));
  EXPECT_EQ(headers.size(), 4u);
}

TEST(HttpGetWin, ReturnsTheWholeBodyWhateverItsStatusOrPieces) {
  const std::string base = test::ServerUrl("http");
  EXPECT_EQ(HttpGet(base + "/pieces"), R"(<?xml version="1.0"?><r status="ok" summa="42.00"/>)");
  EXPECT_NE(HttpGet(base + "/status/404").find("Not Found"), std::string::npos);
  EXPECT_NE(HttpGet(base + "/status/500").find("<html>"), std::string::npos);
  EXPECT_EQ(HttpGet(base + "/empty"), "");
  EXPECT_EQ(HttpGet(base + "/redirect?to=/reply/error_empty.xml"),
            test::ReadDataFile("replies/error_empty.xml"));
}

TEST(HttpGetWin, AcceptsAMebibyteAndRefusesMore) {
  const std::string big = test::ServerUrl("http") + "/big?bytes=";
  EXPECT_EQ(HttpGet(big + std::to_string(kMaxReplyBytes)).size(), kMaxReplyBytes);
  EXPECT_PRED2(StartsWith, FailureOf(big + std::to_string(kMaxReplyBytes + 1)),
               "InternetReadFile failed with error 122: ");
  // Without a length, in pieces: refused as soon as it passes the limit.
  EXPECT_PRED2(StartsWith,
               FailureOf(test::ServerUrl("http") +
                         "/big?chunks=1&bytes=" + std::to_string(64 * kMaxReplyBytes)),
               "InternetReadFile failed with error 122: ");
}

TEST(HttpGetWin, ABodyCutShortIsAFailureNotAReply) {
  // An orderly close before the announced length, and a reset in the middle of the body.
  EXPECT_PRED2(StartsWith, FailureOf(test::ServerUrl("http") + "/reset"),
               "InternetReadFile failed with error 12030: ");
  // A reset can overtake the headers in the socket, which then fails the send instead: a
  // failure either way, never a reply.
  const std::string reset = FailureOf(test::ServerUrl("http-reset") + "/reset");
  EXPECT_TRUE(StartsWith(reset, "InternetReadFile failed with error ") ||
              StartsWith(reset, "HttpSendRequest failed with error "))
      << reset;
}

TEST(HttpGetWin, AcceptsEveryCertificateTheServerHas) {
  // The first is self-signed and goes through the retry after "untrusted issuer" (12045).
  // Wine's WinINet goes on without a client certificate by itself, never asking for one.
  const std::string expected = test::ReadDataFile("replies/error_text.xml");
  for (const std::string listener :
       {"https", "https-expired", "https-wrong-name", "https-client-cert"}) {
    SCOPED_TRACE(listener);
    const std::string target = "/reply/error_text.xml?" + listener + "&" + kRun;
    EXPECT_NO_THROW(EXPECT_EQ(HttpGet(test::ServerUrl(listener) + target), expected));
    const auto requests = RequestsWith(target + " ");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].listener, listener);
    EXPECT_EQ(requests[0].line, "GET " + target + " HTTP/1.0");
  }
}

TEST(HttpGetWin, AddressPartsReachTheServer) {
  const std::string base = test::ServerUrl("http");
  // No path: the library's default, the server's root.
  const std::size_t roots = RequestsWith("GET / HTTP/1.0").size();
  HttpGet(base);
  EXPECT_EQ(RequestsWith("GET / HTTP/1.0").size(), roots + 1);
  // User name and password go to the connection, not into the request; WinINet offers them
  // only when the server asks (401).
  const std::string target = "/empty?credentials&" + kRun;
  HttpGet(base.substr(0, 7) + "user:pass@" + base.substr(7) + target);
  const auto requests = RequestsWith(target + " ");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].line, "GET " + target + " HTTP/1.0");
  EXPECT_EQ(requests[0].headers.at("host"), base.substr(7));
  // The address is Windows-1251 bytes already and goes out as it is.
  EXPECT_NE(HttpGet(base + "/echo?login=\xE0\xE1&pswd=%E2&mid=9&" + kRun)
                .find("<r status=\"ok\">login=аб;pswd=в;mid=9</r>"),
            std::string::npos);
}

TEST(HttpGetWin, FailuresNameTheStepAndTheLibraryCode) {
  // Nobody listens on port 1 of loopback: ERROR_INTERNET_CANNOT_CONNECT.
  EXPECT_PRED2(StartsWith, FailureOf("http://127.0.0.1:1/"),
               "HttpSendRequest failed with error 12029: ");
  // ERROR_INTERNET_UNRECOGNIZED_SCHEME, from the library and from our own check.
  EXPECT_PRED2(StartsWith, FailureOf("no address"), "InternetCrackUrl failed with error 12006: ");
  EXPECT_PRED2(StartsWith, FailureOf("ftp://127.0.0.1/x"),
               "InternetCrackUrl failed with error 12006: ");
  EXPECT_PRED2(StartsWith, FailureOf(""), "InternetCrackUrl failed with error ");
}

TEST(HttpGetWin, APollNeverHangsLongerThanItsBound) {
  struct Case {
    std::string address;
    std::string step;
    double max_seconds;
  };
  // The test server's https-slow holds each connection 8 s before the handshake. Wine's
  // WinINet does not bound a handshake by the time-outs, so there the retry's handshake takes
  // the whole 8 s too; what is left of the one bound still ends the request after it, well
  // before the 8 + 8 + 15 s of a retry given a bound of its own.
  constexpr double kSlowWait = 8.0;
  const std::vector<Case> cases = {
      {test::ServerUrl("http") + "/stall", "HttpSendRequest failed with error ",
       kRequestTimeoutSeconds + 3.0},
      {test::ServerUrl("https") + "/stall", "HttpSendRequest failed with error ",
       kRequestTimeoutSeconds + 3.0},
      {test::ServerUrl("http") + "/stall-body", "InternetReadFile failed with error ",
       kRequestTimeoutSeconds + 3.0},
      {test::ServerUrl("https-slow") + "/stall", "HttpSendRequest failed with error ",
       kRequestTimeoutSeconds + kSlowWait + 3.0},
  };
  std::vector<std::string> addresses;
  for (const Case& c : cases) addresses.push_back(c.address);
  const auto runs = test::TimedFailures(addresses);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [failure, seconds] = runs[i];
    SCOPED_TRACE(cases[i].address);
    EXPECT_PRED2(StartsWith, failure, cases[i].step);
    EXPECT_GE(seconds, kRequestTimeoutSeconds - 0.5);
    EXPECT_LE(seconds, cases[i].max_seconds);
  }
}

// The program's end closes the request handle from the user-interface thread. Windows then
// ends a call blocked on it at once; Wine's WinINet lets the call run to its time-out, which
// a short bound keeps short here. Either way no later request goes out.
TEST(HttpGetWin, CancelEndsTheRequestUnderWayAndEveryLaterOne) {
  HttpClient client;
  auto stalled = std::async(std::launch::async, [&] {
    try {
      client.Get(test::ServerUrl("http") + "/stall?" + kRun, HttpTimeouts{2000, 2000});
    } catch (const Exception& e) {
      return std::string(e.what());
    }
    return std::string();
  });
  // Cancelled once the server has the request: a cancel that came first would refuse it at
  // its start, which ends the same way.
  const auto under_way = [] { return !RequestsWith("/stall?" + kRun).empty(); };
  for (int wait = 0; wait < 500 && !under_way(); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool began = under_way();
  client.Cancel();
  ASSERT_TRUE(began) << "the request was not under way within 5 s";
  ASSERT_EQ(stalled.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_PRED2(StartsWith, stalled.get(), "HttpSendRequest failed with error ");
  EXPECT_THROW(client.Get(test::ServerUrl("http") + "/reply/ok_summa.xml?cancelled&" + kRun),
               Exception);
  EXPECT_TRUE(RequestsWith("cancelled&" + kRun).empty());
}

}  // namespace
}  // namespace kestrion
