// One poll in process: PollBalance through the real HTTP client, connection check, settings
// file and expat reader against the test billing server on loopback, side by side with bare
// libcurl GETs of the same address in the same binary. bench/run reads the medians.
//
// The poll comes twice: with one HttpClient kept across polls, as the poll thread has it, and
// with the one-off HttpGet, a client a request. Each has its bare libcurl counterpart: one
// easy handle kept across requests (a new connection every time all the same), or a new handle
// a request.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "poll/connection_check.h"
#include "poll/http_get.h"
#include "poll/poll_balance.h"
#include "poll/reply_document.h"
#include "settings/registry.h"
#include "settings/registry_file.h"
#include "settings/settings.h"
#include "settings/string_table.h"
#include "tests/server/billing_server.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRoute = "/korvanta/balance_sender";

class BaseUrlTable : public kestrion::StringTable {
 public:
  explicit BaseUrlTable(std::string balance_url) : balance_url_(std::move(balance_url)) {}
  std::string Load(unsigned id) const override {
    switch (id) {
      case kestrion::kBalanceUrlId:
        return balance_url_;
      case kestrion::kStatUrlId:
        return "https://stat.example.net/korvanta/webexecuter";
      case kestrion::kModuleIdId:
        return "9";
      default:
        return "";
    }
  }

 private:
  std::string balance_url_;
};

// The server, and a settings file in a folder of its own, for the whole run.
struct Fixture {
  Fixture() : server(KESTRION_TEST_DATA) {
    char pattern[] = "/tmp/kestrion-bench-XXXXXX";
    folder = mkdtemp(pattern);
    settings_file = folder / "registry.reg";
    std::ofstream(settings_file) << "Windows Registry Editor Version 5.00\n\n"
                                    "[HKEY_CURRENT_USER\\Software\\Kestrion]\n"
                                    "\"login\"=\"demo\"\n\"pswd\"=\"demo\"\n";
  }
  ~Fixture() { fs::remove_all(folder); }
  Fixture(const Fixture&) = delete;
  Fixture& operator=(const Fixture&) = delete;

  kestrion::test::BillingServer server;
  fs::path folder;
  fs::path settings_file;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

std::string BaseUrl(bool https) {
  return (https ? Shared().server.https_url() : Shared().server.http_url()) + kRoute;
}

using HttpGetFunction = std::function<std::string(const std::string&)>;

// Whole polls, each fetching through `http_get`.
void RunPolls(benchmark::State& state, bool https, HttpGetFunction http_get) {
  const BaseUrlTable strings(BaseUrl(https));
  const std::string path = Shared().settings_file.string();
  kestrion::Settings settings(
      [path] {
        return std::make_unique<kestrion::Registry>(
            std::make_unique<kestrion::RegistryFileBackend>(path));
      },
      strings);
  std::optional<kestrion::Status> shown;
  kestrion::PollServices services;
  services.is_internet_connected = kestrion::IsInternetConnected;
  services.settings = &settings;
  services.http_get = std::move(http_get);
  services.parse_reply = kestrion::ParseReplyDocument;
  services.show_status = [&shown](const kestrion::Status& status) { shown = status; };
  for (auto _ : state) {
    shown.reset();
    kestrion::PollBalance(services);
    if (!shown || !shown->ok) {
      state.SkipWithError(("poll did not show the balance: " + (shown ? shown->text : "")).c_str());
      break;
    }
  }
}

// The poll thread's way: one client for every poll.
void BM_PollBalance(benchmark::State& state, bool https) {
  kestrion::HttpClient client;
  RunPolls(state, https, [&client](const std::string& address) { return client.Get(address); });
}

// kestrion-check's way: a client of its own for the one request.
void BM_PollBalanceOneOff(benchmark::State& state, bool https) {
  RunPolls(state, https, kestrion::HttpGet);
}

struct CurlEasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyCleanup>;

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// One GET on a handle without the certificate check, as `curl -k`: libcurl's defaults
// otherwise. A kept handle is told to make a new connection and close it after, as the poll
// does; its TLS session cache stays with it.
CURLcode BareGet(CURL* curl, const std::string& url, bool kept, std::string& body) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  if (kept) {
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  }
  return curl_easy_perform(curl);
}

std::string BalanceAddress(bool https) { return BaseUrl(https) + "?login=demo&pswd=demo&mid=9"; }

// The least a GET costs. `kept`: one handle for every request; otherwise a new handle a
// request.
void BareCurlGet(benchmark::State& state, bool https, bool kept) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = BalanceAddress(https);
  CurlEasyPtr kept_handle(kept ? curl_easy_init() : nullptr);
  for (auto _ : state) {
    std::string body;
    const CurlEasyPtr own_handle(kept ? nullptr : curl_easy_init());
    CURL* const curl = kept ? kept_handle.get() : own_handle.get();
    if (BareGet(curl, url, kept, body) != CURLE_OK || body.find("123.45") == std::string::npos) {
      state.SkipWithError("the bare GET failed");
      break;
    }
  }
}

void BM_BareCurlGet(benchmark::State& state, bool https) { BareCurlGet(state, https, false); }
void BM_BareCurlKeptGet(benchmark::State& state, bool https) { BareCurlGet(state, https, true); }

BENCHMARK_CAPTURE(BM_PollBalance, http, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlKeptGet, http, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PollBalance, https, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlKeptGet, https, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PollBalanceOneOff, http, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlGet, http, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PollBalanceOneOff, https, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlGet, https, true)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
