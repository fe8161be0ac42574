// Many polls in one process through the real HTTP client and XML parser, against the test
// billing server: good replies and every kind of fault in turn. Each poll must end in one
// status, and a fault must never spoil the poll after it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "poll/http_get.h"
#include "poll/poll_balance.h"
#include "poll/reply_document.h"
#include "settings/settings.h"
#include "tests/server/billing_server.h"
#include "tests/settings/fakes.h"

namespace kestrion {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPolls = 10000;
constexpr int kStallEvery = 200;
// A stall holds one server thread until its server goes; the stalls get a server of their
// own, made afresh before its threads run out.
constexpr int kStallsPerServer = 10;

// Loose enough for a loaded machine under the sanitizers, so that only a stall times out.
constexpr HttpTimeouts kBounds{2000, 5000};
constexpr HttpTimeouts kStallBounds{2000, 150};

enum class Kind { kGood, kErrorReply, kGarbage, kReset, kErrorPage, kStall };

// Every fault comes right after a good poll and is followed by one.
Kind KindOfPoll(int i) {
  if (i % kStallEvery == kStallEvery - 1) return Kind::kStall;
  switch (i % 8) {
    case 1:
      return Kind::kErrorReply;
    case 3:
      return Kind::kGarbage;
    case 5:
      return Kind::kReset;
    case 7:
      return Kind::kErrorPage;
    default:
      return Kind::kGood;
  }
}

std::size_t OpenFileCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST(Soak, TenThousandPollsThroughFaultsEachShowOneStatusAndRecover) {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  test::BillingServer server(KESTRION_TEST_DATA);
  std::unique_ptr<test::BillingServer> stall_server;
  test::MemoryRegistry store;
  store.SetText("login", "demo");
  store.SetText("pswd", "demo");
  test::FakeStringTable strings;
  Settings settings(store.Factory(), strings);

  std::vector<Status> shown;
  bool stalling = false;
  PollServices services;
  services.is_internet_connected = [] { return true; };
  services.settings = &settings;
  services.http_get = [&stalling](const std::string& address) {
    return HttpGetWithin(address, stalling ? kStallBounds : kBounds);
  };
  services.parse_reply = ParseReplyDocument;
  services.show_status = [&shown](const Status& status) { shown.push_back(status); };

  const Status good{"Ваш баланс: 123.45", true, "123.45"};
  const Status error_reply{"Неверный логин или пароль", false};
  const Status data_error{kDataErrorText, false};
  int faults = 0;
  int stalls = 0;
  std::size_t files_before = 0;
  const auto start = Clock::now();

  for (int i = 0; i < kPolls; ++i) {
    const Kind kind = KindOfPoll(i);
    std::string base;
    Status expected = data_error;
    switch (kind) {
      case Kind::kGood:
        base = server.http_url() + "/korvanta/balance_sender";
        expected = good;
        break;
      case Kind::kErrorReply:
        base = server.http_url() + "/reply/error_text.xml";
        expected = error_reply;
        break;
      case Kind::kGarbage:
        base = server.http_url() + "/reply/not_xml.txt";
        break;
      case Kind::kReset:
        base = server.http_reset_url() + "/reset";
        break;
      case Kind::kErrorPage:
        base = server.http_url() + "/status/500";
        break;
      case Kind::kStall:
        if (stalls % kStallsPerServer == 0) {
          stall_server.reset();
          stall_server = std::make_unique<test::BillingServer>(KESTRION_TEST_DATA);
        }
        base = stall_server->http_url() + "/stall";
        ++stalls;
        break;
    }
    faults += kind != Kind::kGood;
    stalling = kind == Kind::kStall;
    strings.texts[kBalanceUrlId] = base;
    shown.clear();
    PollBalance(services);
    ASSERT_EQ(shown.size(), 1u) << "poll " << i;
    ASSERT_EQ(shown.front(), expected) << "poll " << i;
    // Counted once every connection of the warm-up has closed.
    if (i == 99) files_before = OpenFileCount();
  }
  stall_server.reset();

  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::cout << "[ soak     ] " << kPolls << " polls, " << faults << " faults (" << stalls
            << " stalls) in " << seconds << " s\n";
  // No socket or file of a poll outlives it.
  EXPECT_LE(OpenFileCount(), files_before + 2);
}

}  // namespace
}  // namespace kestrion
