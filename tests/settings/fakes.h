#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "settings/registry.h"
#include "settings/string_table.h"

namespace kestrion::test {

// A registry held in memory, shared by every accessor made from one MemoryRegistry, with
// switches for the failures a real store can have.
class MemoryRegistry {
 public:
  // Key paths and value names are compared without regard to ASCII case, as by the real stores.
  struct IgnoringCase {
    bool operator()(const std::string& a, const std::string& b) const {
      return std::lexicographical_compare(
          a.begin(), a.end(), b.begin(), b.end(),
          [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
    }
  };
  std::map<std::string, std::map<std::string, RegValue, IgnoringCase>, IgnoringCase> keys;
  bool fail_writes = false;
  int accessors_made = 0;
  std::vector<std::string> written;  // the names of the values written, in order

  void SetText(const std::string& name, const std::string& text, std::uint32_t type = kRegSz) {
    keys[kRegKey][name] = RegValue{type, text + std::string(1, '\0')};
  }
  void SetInteger(const std::string& name, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    SetRaw(name, kRegDword, data);
  }
  void SetRaw(const std::string& name, std::uint32_t type, const std::string& data) {
    keys[kRegKey][name] = RegValue{type, data};
  }
  // A value whose size the store gives but whose bytes it cannot read.
  void SetUnreadable(const std::string& name, std::uint32_t type) {
    keys[kRegKey][name] = RegValue{type, {}, true};
  }

  RegistryFactory Factory() {
    return [this] {
      ++accessors_made;
      return std::make_unique<Registry>(std::make_unique<Backend>(*this));
    };
  }

 private:
  class Backend final : public RegistryBackend {
   public:
    explicit Backend(MemoryRegistry& store) : store_(store) {}
    bool KeyExists(const std::string& key) override { return store_.keys.count(key) != 0; }
    bool OpenKey(const std::string& key, bool create) override {
      if (!create && !KeyExists(key)) return false;
      store_.keys[key];
      open_ = key;
      return true;
    }
    void CloseKey() override { open_.clear(); }
    std::optional<RegValue> QueryValue(const std::string& name) override {
      if (open_.empty()) return std::nullopt;
      const auto& values = store_.keys[open_];
      const auto it = values.find(name);
      if (it == values.end()) return std::nullopt;
      return it->second;
    }
    bool SetValue(const std::string& name, const RegValue& value) override {
      if (open_.empty() || store_.fail_writes) return false;
      store_.keys[open_][name] = value;
      store_.written.push_back(name);
      return true;
    }

   private:
    MemoryRegistry& store_;
    std::string open_;
  };
};

// A string table with the default addresses, which a test may change.
class FakeStringTable : public StringTable {
 public:
  std::map<unsigned, std::string> texts = {
      {kBalanceUrlId, "http://balance.example.net/korvanta/balance_sender"},
      {kStatUrlId, "https://stat.example.net/korvanta/webexecuter"},
      {kModuleIdId, "9"},
  };
  std::string Load(unsigned id) const override {
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
};

}  // namespace kestrion::test
