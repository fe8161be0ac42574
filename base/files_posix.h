#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace kestrion {

// File handling shared by the Linux platform files.

// Owns a file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int Close();

 private:
  int fd_;
};

// The whole file; "" when it does not exist, nullopt when it exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes a temporary file beside `path`, gives it `mode`, syncs it and renames it over `path`,
// so that nobody ever reads half a file and a crash leaves the old one or the new one. The
// temporary name starts with a dot. On failure what stood at `path` is untouched and the
// temporary file is gone. The folder must exist.
bool WriteFileAtomically(const std::string& path, std::string_view data, mode_t mode);

// A path's folder and name: "." for a bare name, "/" for a name at the root.
struct PathParts {
  std::string folder;
  std::string name;
};
PathParts SplitPath(const std::string& path);

// An XDG base folder: $variable when it is absolute, else $HOME followed by `under_home`
// (e.g. "/.config"); "" when neither is usable. No trailing '/'.
std::string XdgBaseFolder(const char* variable, const char* under_home);

}  // namespace kestrion
