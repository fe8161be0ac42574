#include "base/files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace kestrion {

int UniqueFd::Close() { return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1)); }

std::optional<std::string> ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return out;
    if (n < 0 && errno != EINTR) return std::nullopt;
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
  }
}

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno != EINTR) return false;
    if (n > 0) data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A variable naming an absolute folder, without trailing '/'; "" otherwise, since the XDG
// base directory rules make relative values invalid.
std::string AbsoluteFolderFromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return "";
  std::string folder = value;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool WriteFileAtomically(const std::string& path, std::string_view data, mode_t mode) {
  const PathParts parts = SplitPath(path);
  std::string temp = parts.folder + "/." + parts.name + ".XXXXXX";
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  if (!WriteAll(fd.get(), data) || ::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0 ||
      fd.Close() != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename is done; a folder that cannot be synced does not undo it.
  const UniqueFd folder(::open(parts.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

std::string XdgBaseFolder(const char* variable, const char* under_home) {
  std::string folder = AbsoluteFolderFromEnv(variable);
  if (!folder.empty()) return folder;
  const std::string home = AbsoluteFolderFromEnv("HOME");
  return home.empty() ? "" : home + under_home;
}

}  // namespace kestrion
