#pragma once

#include <optional>
#include <string>

#include "settings/registry.h"

namespace kestrion {

// The settings file that stands in for the registry on Linux: one file in the syntax of a
// regedit export (settings/reg_file_format.h).

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
