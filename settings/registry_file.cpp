#include "settings/registry_file.h"

#include "base/files_posix.h"
#include "settings/reg_file_format.h"

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The file's syntax and how a write edits its lines are in settings/reg_file_format.cpp. Here:
// - A file that is not understood is first written aside to "<path>.broken" (replacing an
//   older one), as the rewritten file leaves out the lines it did not understand.
// - A symbolic link at the path is read through but replaced by a regular file on the first
//   write: the rename never writes into the link's target, wherever that is.

namespace kestrion {
namespace {

// Creates what is missing of `dir` and gives it mode 0700. A folder that is not ours keeps
// its mode: the file's own 0600 still guards the password.
bool MakeFolder(const std::string& dir) {
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    if (::mkdir(dir.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  ::chmod(dir.c_str(), 0700);
  return true;
}

// The settings file holds a password: only its owner may read it, in a folder only the owner
// may enter.
bool WriteSettingsFile(const std::string& path, std::string_view data) {
  return MakeFolder(SplitPath(path).folder) && WriteFileAtomically(path, data, 0600);
}

std::optional<RegDocument> Load(const std::string& path) {
  auto raw = ReadWholeFile(path);
  if (!raw) return std::nullopt;
  return RegDocument(std::move(*raw));
}

// Writes the new text, keeping a file that was not understood aside first.
bool Store(const std::string& path, const RegDocument& doc, const std::string& text) {
  if (doc.broken() && !WriteSettingsFile(path + ".broken", doc.original())) return false;
  return WriteSettingsFile(path, text);
}

}  // namespace

std::string DefaultRegistryFilePath() {
  std::string base = XdgBaseFolder("XDG_CONFIG_HOME", "/.config");
  if (base.empty()) {
    // Started without a usable HOME: the account's own home still holds the settings.
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
      base = std::string(found->pw_dir) + "/.config";
  }
  return base + "/kestrion/registry.reg";
}

RegistryFileBackend::RegistryFileBackend(std::string path) : path_(std::move(path)) {}

bool RegistryFileBackend::KeyExists(const std::string& key) {
  try {
    if (!IsOpenableKey(key)) return false;
    const auto doc = Load(path_);
    return doc && doc->HasKey(key);
  } catch (...) {
    return false;
  }
}

bool RegistryFileBackend::OpenKey(const std::string& key, bool create) {
  try {
    if (!IsOpenableKey(key)) return false;
    const auto doc = Load(path_);
    if (!doc) return false;
    if (!doc->HasKey(key) && (!create || !Store(path_, *doc, doc->TextWithKey(key)))) return false;
    open_key_ = key;
    return true;
  } catch (...) {
    return false;
  }
}

void RegistryFileBackend::CloseKey() { open_key_.clear(); }

std::optional<RegValue> RegistryFileBackend::QueryValue(const std::string& name) {
  try {
    if (open_key_.empty()) return std::nullopt;
    const auto doc = Load(path_);
    return doc ? doc->Value(open_key_, name) : std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

bool RegistryFileBackend::SetValue(const std::string& name, const RegValue& value) {
  try {
    if (open_key_.empty()) return false;
    const auto doc = Load(path_);
    return doc && Store(path_, *doc, doc->TextWithValue(open_key_, name, value));
  } catch (...) {
    return false;
  }
}

}  // namespace kestrion
