// The pieces of a poll, each beside a baseline that does the least of the same work:
//   reading a reply (ParseReplyDocument + StatusFromReply)  vs  expat parsing it bare,
//   EncodeURL of a long address                             vs  curl_easy_escape of it,
//   ReadSettings from the settings file                     vs  reading the file's bytes.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <expat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "poll/reply_document.h"
#include "poll/reply_status.h"
#include "settings/encode_url.h"
#include "settings/registry.h"
#include "settings/registry_file.h"
#include "settings/settings.h"
#include "settings/string_table.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Reply(const char* name) {
  return ReadFile(fs::path(KESTRION_TEST_DATA) / "replies" / name);
}

void BM_ReadReply(benchmark::State& state, const char* name) {
  const std::string body = Reply(name);
  for (auto _ : state) {
    const auto status = kestrion::StatusFromReply(*kestrion::ParseReplyDocument(body));
    benchmark::DoNotOptimize(status);
  }
}

// A parser made, the document parsed with no handler set, the parser freed: the least any
// reading of the reply costs. The replies are in windows-1251, which expat does not know by
// itself; it is told ISO-8859-1 instead, another single-byte encoding, of the same cost.
void BM_BareXmlParse(benchmark::State& state, const char* name) {
  const std::string body = Reply(name);
  for (auto _ : state) {
    const XML_Parser parser = XML_ParserCreate("ISO-8859-1");
    benchmark::DoNotOptimize(
        XML_Parse(parser, body.data(), static_cast<int>(body.size()), XML_TRUE));
    XML_ParserFree(parser);
  }
}

// A statistics address with a long login and password, about 2 KB: every byte after the host
// gets encoded.
std::string LongAddress() {
  std::string address = "https://stat.example.net/korvanta/webexecuter?user=";
  for (int i = 0; i < 64; ++i) address += "user.name-";
  address += "&pswd=";
  for (int i = 0; i < 64; ++i) address += "p4ss w0rd&";
  return address + "&midAuth=9&module=contract";
}

void BM_EncodeURL(benchmark::State& state) {
  const std::string address = LongAddress();
  for (auto _ : state) benchmark::DoNotOptimize(kestrion::EncodeURL(address));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * address.size()));
}

struct CurlFree {
  void operator()(char* text) const { curl_free(text); }
};

void BM_CurlEscape(benchmark::State& state) {
  const std::string address = LongAddress();
  for (auto _ : state) {
    const std::unique_ptr<char, CurlFree> escaped(
        curl_easy_escape(nullptr, address.data(), static_cast<int>(address.size())));
    benchmark::DoNotOptimize(escaped.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * address.size()));
}

class FixedTable : public kestrion::StringTable {
 public:
  std::string Load(unsigned id) const override {
    switch (id) {
      case kestrion::kBalanceUrlId:
        return "http://balance.example.net/korvanta/balance_sender";
      case kestrion::kStatUrlId:
        return "https://stat.example.net/korvanta/webexecuter";
      case kestrion::kModuleIdId:
        return "9";
      default:
        return "";
    }
  }
};

// A settings file as the program leaves it: the account and the bar's place.
struct SettingsFolder {
  SettingsFolder() {
    char pattern[] = "/tmp/kestrion-bench-XXXXXX";
    folder = mkdtemp(pattern);
    file = folder / "registry.reg";
    std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Kestrion]\n"
                           "\"login\"=\"demo\"\n\"pswd\"=\"demo\"\n"
                           "\"Left\"=dword:00000340\n\"Top\"=dword:00000000\n"
                           "\"Width\"=dword:000000c8\n\"Height\"=dword:00000018\n";
  }
  ~SettingsFolder() { fs::remove_all(folder); }
  SettingsFolder(const SettingsFolder&) = delete;
  SettingsFolder& operator=(const SettingsFolder&) = delete;

  fs::path folder;
  fs::path file;
};

void BM_ReadSettings(benchmark::State& state) {
  const SettingsFolder folder;
  const FixedTable strings;
  const std::string path = folder.file.string();
  kestrion::Settings settings(
      [path] {
        return std::make_unique<kestrion::Registry>(
            std::make_unique<kestrion::RegistryFileBackend>(path));
      },
      strings);
  for (auto _ : state) {
    if (!settings.ReadSettings()) {
      state.SkipWithError("the settings were not read");
      break;
    }
  }
}

void BM_ReadSettingsFileBytes(benchmark::State& state) {
  const SettingsFolder folder;
  for (auto _ : state) benchmark::DoNotOptimize(ReadFile(folder.file));
}

BENCHMARK_CAPTURE(BM_ReadReply, ok_summa, "ok_summa.xml");
BENCHMARK_CAPTURE(BM_BareXmlParse, ok_summa, "ok_summa.xml");
BENCHMARK_CAPTURE(BM_ReadReply, error_text, "error_text.xml");
BENCHMARK_CAPTURE(BM_BareXmlParse, error_text, "error_text.xml");
BENCHMARK(BM_EncodeURL);
BENCHMARK(BM_CurlEscape);
BENCHMARK(BM_ReadSettings)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSettingsFileBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
