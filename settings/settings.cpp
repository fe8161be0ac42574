#include "settings/settings.h"

#include "base/text_codec.h"
#include "settings/encode_url.h"
#include "settings/stored_values.h"

#include <utility>

namespace kestrion {

Settings::Settings(RegistryFactory registry, const StringTable& strings)
    : registry_(std::move(registry)), strings_(strings) {}

bool Settings::ReadSettings() {
  record_.Login.clear();
  record_.Pswd.clear();
  {
    const std::unique_ptr<Registry> reg = registry_();
    if (reg->KeyExists(kRegKey)) {
      // Whether the open worked is not checked: if it did not, no value exists either.
      reg->OpenKey(kRegKey, false);
      for (auto [value, text] :
           {std::pair{kLoginValue, &record_.Login}, {kPswdValue, &record_.Pswd}}) {
        if (reg->ValueExists(value.name)) *text = reg->ReadString(value.name);
      }
    }
  }
  record_.ModuleId = LoadResourceString(strings_, kModuleIdId);
  record_.BalanceURL = LoadResourceString(strings_, kBalanceUrlId);
  record_.StatURL = LoadResourceString(strings_, kStatUrlId);
  return !record_.Login.empty() && !record_.Pswd.empty() && !record_.ModuleId.empty() &&
         !record_.BalanceURL.empty() && !record_.StatURL.empty();
}

namespace {

// The record's texts as the bytes that travel to the billing server.
struct WireTexts {
  std::string login, pswd, module;
  explicit WireTexts(const SettingsRecord& record)
      : login(Utf8ToCp1251(record.Login)),
        pswd(Utf8ToCp1251(record.Pswd)),
        module(Utf8ToCp1251(record.ModuleId)) {}
};

}  // namespace

std::string Settings::GetBalanceURL() const {
  const std::string base = Utf8ToCp1251(record_.BalanceURL);
  const WireTexts wire(record_);
  return JoinURLPieces({{base},
                        {"?login="},
                        {wire.login, true},
                        {"&pswd="},
                        {wire.pswd, true},
                        {"&mid="},
                        {wire.module}});
}

std::string Settings::GetStatURL() const {
  const std::string base = Utf8ToCp1251(record_.StatURL);
  const WireTexts wire(record_);
  return EncodeURLPieces({{base},
                          {"?user="},
                          {wire.login, true},
                          {"&pswd="},
                          {wire.pswd, true},
                          {"&midAuth="},
                          {wire.module},
                          {"&module=contract"}});
}

}  // namespace kestrion
