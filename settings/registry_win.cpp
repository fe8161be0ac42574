#include "settings/registry_win.h"

#include <windows.h>

#include "base/text_win.h"

namespace kestrion {

namespace {

// Open the key for reading: STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS.
constexpr REGSAM kKeyRead = 0x20009;

class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() { Close(); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* out() {
    Close();
    return &key_;
  }
  HKEY get() const { return key_; }
  void Close() {
    if (key_ != nullptr) RegCloseKey(key_);  // no flush
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

class CurrentUserRegistry final : public RegistryBackend {
 public:
  bool KeyExists(const std::string& key) override {
    KeyHandle probe;
    return RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(key).c_str(), 0, kKeyRead, probe.out()) ==
           ERROR_SUCCESS;
  }

  bool OpenKey(const std::string& key, bool create) override {
    const std::wstring path = Utf8ToWide(key);
    if (create) {
      return RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, key_.out(), nullptr) == ERROR_SUCCESS;
    }
    return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, key_.out()) ==
           ERROR_SUCCESS;
  }

  void CloseKey() override { key_.Close(); }

  std::optional<RegValue> QueryValue(const std::string& name) override {
    if (key_.get() == nullptr) return std::nullopt;
    const std::wstring wname = Utf8ToWide(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::string bytes(size, '\0');
    if (size > 0 &&
        RegQueryValueExW(key_.get(), wname.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS) {
      return RegValue{type, {}, true};
    }
    bytes.resize(size);
    if (!IsText(type) || bytes.empty()) return RegValue{type, bytes};
    // Texts are stored as UTF-16; the program keeps UTF-8 with its one zero byte.
    std::wstring_view wide(reinterpret_cast<const wchar_t*>(bytes.data()),
                           bytes.size() / sizeof(wchar_t));
    if (const auto end = wide.find(L'\0'); end != std::wstring_view::npos) {
      wide = wide.substr(0, end);
    }
    return RegValue{type, WideToUtf8(wide) + std::string(1, '\0')};
  }

  bool SetValue(const std::string& name, const RegValue& value) override {
    if (key_.get() == nullptr) return false;
    std::string bytes = value.data;
    if (IsText(value.type)) {
      const std::string text = bytes.substr(0, bytes.find('\0'));
      const std::wstring wide = Utf8ToWide(text) + L'\0';
      bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    }
    return RegSetValueExW(key_.get(), Utf8ToWide(name).c_str(), 0, value.type,
                          reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }

 private:
  KeyHandle key_;
};

}  // namespace

std::unique_ptr<RegistryBackend> MakeCurrentUserRegistry() {
  return std::make_unique<CurrentUserRegistry>();
}

}  // namespace kestrion
