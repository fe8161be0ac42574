#include "settings/registry.h"

#include <cstring>

#include "base/exception.h"

namespace kestrion {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& name) {
  throw Exception(std::string(what) + " for '" + name + "'");
}

[[noreturn]] void FailGet(const std::string& name) { Fail("Failed to get data", name); }
[[noreturn]] void FailType(const std::string& name) { Fail("Invalid data type", name); }
[[noreturn]] void FailSet(const std::string& name) { Fail("Failed to set data", name); }

}  // namespace

Registry::Registry(std::unique_ptr<RegistryBackend> backend) : backend_(std::move(backend)) {}

Registry::~Registry() { CloseKey(); }

bool Registry::KeyExists(const std::string& key) { return backend_->KeyExists(key); }

bool Registry::OpenKey(const std::string& key, bool create) {
  backend_->CloseKey();
  return backend_->OpenKey(key, create);
}

bool Registry::ValueExists(const std::string& name) {
  return backend_->QueryValue(name).has_value();
}

std::string Registry::ReadString(const std::string& name) {
  const std::optional<RegValue> value = backend_->QueryValue(name);
  // A value whose size cannot be had, or that holds no bytes at all, reads as empty text
  // whatever its type.
  if (!value) return {};
  if (value->data_unreadable) FailGet(name);
  if (value->data.empty()) return {};
  if (value->type != kRegSz && value->type != kRegExpandSz) FailType(name);
  const std::string& data = value->data;
  return data.substr(0, std::min(data.size(), data.find('\0')));
}

void Registry::WriteString(const std::string& name, const std::string& value) {
  RegValue stored{kRegSz, value};
  stored.data.push_back('\0');
  if (!backend_->SetValue(name, stored)) FailSet(name);
}

std::int32_t Registry::ReadInteger(const std::string& name) {
  const std::optional<RegValue> value = backend_->QueryValue(name);
  // A 4-byte read: a missing value or one longer than 4 bytes fails.
  if (!value || value->data_unreadable || value->data.size() > 4) FailGet(name);
  if (value->type != kRegDword || value->data.size() != 4) FailType(name);
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) {
    bits = (bits << 8) | static_cast<unsigned char>(value->data[static_cast<std::size_t>(i)]);
  }
  return static_cast<std::int32_t>(bits);
}

void Registry::WriteInteger(const std::string& name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  RegValue stored{kRegDword, std::string(4, '\0')};
  for (std::size_t i = 0; i < 4; ++i) {
    stored.data[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
  }
  if (!backend_->SetValue(name, stored)) FailSet(name);
}

void Registry::CloseKey() { backend_->CloseKey(); }

}  // namespace kestrion
