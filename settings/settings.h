#pragma once

#include <string>

#include "settings/registry.h"
#include "settings/string_table.h"

namespace kestrion {

// The account settings: five UTF-8 texts, all empty until the first ReadSettings.
struct SettingsRecord {
  std::string Login;
  std::string Pswd;
  std::string BalanceURL;
  std::string StatURL;
  std::string ModuleId;
};

// The settings store and the two request addresses. The settings dialog owns the one
// instance; the poll and the statistics command reach it through the dialog.
class Settings {
 public:
  Settings(RegistryFactory registry, const StringTable& strings);

  // Reloads all five texts: "login" and "pswd" from the key, the rest from the string
  // table. True when none is empty. A stored value of the wrong type raises Exception; the
  // fields read until then keep what they got.
  bool ReadSettings();

  // The balance request address as Windows-1251 bytes, ready to send:
  // BalanceURL?login=<Login>&pswd=<Pswd>&mid=<ModuleId>. Login and password bytes outside
  // A-Z a-z 0-9 "-._~" are percent-encoded so that the server gets them as typed.
  std::string GetBalanceURL() const;

  // The statistics page address as the statistics command opens it, Windows-1251 bytes
  // already passed through EncodeURL: StatURL?user=..&pswd=..&midAuth=..&module=contract.
  // Separators inside the login or password are encoded like any other byte.
  std::string GetStatURL() const;

  const SettingsRecord& record() const { return record_; }

 private:
  RegistryFactory registry_;
  const StringTable& strings_;
  SettingsRecord record_;
};

}  // namespace kestrion
