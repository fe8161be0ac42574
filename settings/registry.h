#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrion {

// Value types, numbered as the Windows registry numbers them.
enum RegType : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
};

// One stored value. Texts (kRegSz, kRegExpandSz) hold UTF-8 bytes followed by one zero byte;
// kRegDword holds 4 little-endian bytes; any other type holds its raw bytes.
struct RegValue {
  std::uint32_t type = kRegNone;
  std::string data;
  // The value is there and holds bytes, but they could not be read; `data` is empty.
  bool data_unreadable = false;
};

// The system side of the registry accessor: the real registry on Windows, the settings file
// elsewhere. Key paths are relative to the current user's hive ("Software\\Kestrion").
class RegistryBackend {
 public:
  virtual ~RegistryBackend() = default;

  // Opens the key for reading and closes it again; true when it exists.
  virtual bool KeyExists(const std::string& key) = 0;
  // Opens `key` as the one current key, creating it (and its parents) when `create` is set.
  virtual bool OpenKey(const std::string& key, bool create) = 0;
  virtual void CloseKey() = 0;
  // A value of the current key: its type and bytes, or, when its size is known but reading its
  // bytes failed, its type with data_unreadable set; nullopt when there is no open key or no
  // value. Value names are compared without regard to ASCII case.
  virtual std::optional<RegValue> QueryValue(const std::string& name) = 0;
  // Writes a value of the current key; false when there is no open key or the write failed.
  virtual bool SetValue(const std::string& name, const RegValue& value) = 0;
};

// The registry accessor every handler creates for itself and releases at its end. It holds
// the rules for empty, missing and wrongly typed values and raises Exception with the texts
// "Failed to get data for '%s'", "Invalid data type for '%s'" and "Failed to set data for '%s'".
class Registry {
 public:
  explicit Registry(std::unique_ptr<RegistryBackend> backend);
  ~Registry();  // closes the key
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  bool KeyExists(const std::string& key);
  bool OpenKey(const std::string& key, bool create);
  bool ValueExists(const std::string& name);
  // An empty or unreadable-size value reads as ""; one whose bytes cannot be read raises.
  // kRegSz and kRegExpandSz are taken literally (no expansion) and cut at the first zero
  // byte; other types raise.
  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  // A missing or unreadable value raises, as does any type but kRegDword.
  std::int32_t ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, std::int32_t value);
  void CloseKey();

 private:
  std::unique_ptr<RegistryBackend> backend_;
};

// Makes a fresh accessor; each handler takes its own and releases it when it returns.
using RegistryFactory = std::function<std::unique_ptr<Registry>()>;

// The program's one key under the current user's hive.
inline constexpr const char* kRegKey = "Software\\Kestrion";

}  // namespace kestrion
