#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/registry.h"

namespace kestrion {

// The settings file that stands in for the registry on Linux: one file in the syntax of a
// regedit export ("Windows Registry Editor Version 5.00", [HKEY_CURRENT_USER\...] sections,
// "name"="text", "name"=dword:0000002a, str(2):"...", hex(2):..., hex:..., hex(N):...).

struct RegFileValue {
  std::string name;
  RegValue value;
};

struct RegFileSection {
  // Relative to HKEY_CURRENT_USER, e.g. "Software\\Kestrion". A section of another hive, or a
  // "[-...]" one, is kept as its header text after a backslash, which no key can start with:
  // "\\HKEY_LOCAL_MACHINE\\Software".
  std::string key;
  std::vector<RegFileValue> values;
};

struct RegFile {
  std::vector<RegFileSection> sections;
  // Set when some line could not be understood; what could be read is still here.
  bool broken = false;
};

// Reads what it can; never throws.
RegFile ParseRegFile(std::string_view text);
// The whole file, header line first, sections and values in their order.
std::string FormatRegFile(const RegFile& file);

// $XDG_CONFIG_HOME/kestrion/registry.reg, or ~/.config/kestrion/registry.reg.
std::string DefaultRegistryFilePath();

// Key and value names compare without regard to ASCII case, as in the registry. Every write
// rewrites the file atomically with mode 0600 in a folder of mode 0700, keeping everything it
// does not change; a file that could not be parsed is first kept aside as "<path>.broken".
class RegistryFileBackend : public RegistryBackend {
 public:
  explicit RegistryFileBackend(std::string path);

  bool KeyExists(const std::string& key) override;
  bool OpenKey(const std::string& key, bool create) override;
  void CloseKey() override;
  std::optional<RegValue> QueryValue(const std::string& name) override;
  bool SetValue(const std::string& name, const RegValue& value) override;

 private:
  std::string path_;
  std::string open_key_;  // empty when no key is open
};

}  // namespace kestrion
