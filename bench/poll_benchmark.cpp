// One poll in process: PollBalance through the real HttpGet, connection check, settings file
// and libxml2 parser against the test billing server on loopback, side by side with a bare
// libcurl GET of the same address in the same binary. bench/run reads the medians.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

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

void BM_PollBalance(benchmark::State& state, bool https) {
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
  services.http_get = kestrion::HttpGet;
  services.parse_reply = kestrion::ParseReplyDocument;
  services.show_status = [&shown](const std::string& text, bool ok) {
    shown = kestrion::Status{text, ok};
  };
  for (auto _ : state) {
    shown.reset();
    kestrion::PollBalance(services);
    if (!shown || !shown->ok) {
      state.SkipWithError(("poll did not show the balance: " + (shown ? shown->text : "")).c_str());
      break;
    }
  }
}

struct CurlEasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

CURLcode BareGet(const std::string& url, bool verify_peer, std::string& body) {
  const std::unique_ptr<CURL, CurlEasyCleanup> curl(curl_easy_init());
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, verify_peer ? 1L : 0L);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
  return curl_easy_perform(curl.get());
}

// The baseline: libcurl's defaults and no certificate check, one handle a request as the poll
// has, nothing else.
void BM_BareCurlGet(benchmark::State& state, bool https) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = BaseUrl(https) + "?login=demo&pswd=demo&mid=9";
  for (auto _ : state) {
    std::string body;
    if (BareGet(url, false, body) != CURLE_OK || body.find("123.45") == std::string::npos) {
      state.SkipWithError("the bare GET failed");
      break;
    }
  }
}

// Not a baseline but what explains the https poll: the issuer checked against the system's
// certificate store first (loaded afresh by every new handle), refused as self-signed, then
// the same GET again without the check.
void BM_BareCurlVerifyThenRetry(benchmark::State& state) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string url = BaseUrl(true) + "?login=demo&pswd=demo&mid=9";
  for (auto _ : state) {
    std::string body;
    if (BareGet(url, true, body) != CURLE_PEER_FAILED_VERIFICATION ||
        BareGet(url, false, body) != CURLE_OK) {
      state.SkipWithError("the verify-then-retry GET did not go as expected");
      break;
    }
  }
}

BENCHMARK_CAPTURE(BM_PollBalance, http, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlGet, http, false)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PollBalance, https, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_BareCurlGet, https, true)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BareCurlVerifyThenRetry)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
