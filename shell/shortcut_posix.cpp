#include "shell/shortcut.h"

#include "shell/desktop_entry.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Shortcuts as freedesktop Desktop Entry files:
//   Startup  $XDG_CONFIG_HOME/autostart    (XDG Autostart Specification)
//   Desktop  XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs, else $HOME/Desktop
//   Programs $XDG_DATA_HOME/applications   (Desktop Menu Specification)
// with the XDG defaults $HOME/.config and $HOME/.local/share. Without a usable HOME a folder
// that needs it cannot be located; getpwuid is not asked, so that a program started with a
// stripped environment does not scatter links into a home it was not told about.

namespace kestrion {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Close() { return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// A variable naming an absolute folder, without trailing '/'; "" otherwise, since the XDG Base
// Directory Specification makes relative values invalid.
std::string AbsoluteFolderFromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return "";
  std::string folder = value;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// $variable, else $HOME followed by `under_home`; "" when neither is usable.
std::string BaseFolder(const char* variable, const char* under_home) {
  std::string folder = AbsoluteFolderFromEnv(variable);
  if (!folder.empty()) return folder;
  const std::string home = AbsoluteFolderFromEnv("HOME");
  return home.empty() ? "" : home + under_home;
}

std::string ConfigHome() { return BaseFolder("XDG_CONFIG_HOME", "/.config"); }

std::string DesktopFolder() {
  const std::string home = AbsoluteFolderFromEnv("HOME");
  const std::string config = ConfigHome();
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string named = DesktopDirFromUserDirs(text, home);
    if (!named.empty()) return named;
  }
  return home.empty() ? "" : home + "/Desktop";
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno != EINTR) return false;
    if (n > 0) data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Temporary file beside the target, written, given its mode, synced and renamed over it, so
// that a menu or session watching the folder never reads half a file. On failure what stood at
// the path is untouched and the temporary file is gone. The temporary name does not end in
// ".desktop", so nothing picks it up meanwhile.
void WriteFileAtomically(const std::string& path, std::string_view data, mode_t mode) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;
  const std::string dir = slash == 0 ? "/" : path.substr(0, slash);
  std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return;
  if (!WriteAll(fd.get(), data) || ::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0 ||
      fd.Close() != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return;
  }
  const Fd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
}

class DesktopEntryShell final : public ShortcutShell {
 public:
  explicit DesktopEntryShell(std::string icon_name) : icon_name_(std::move(icon_name)) {}

  std::string FolderPath(int csidl) override {
    std::string base;
    switch (csidl) {
      case kCsidlStartup:
        base = ConfigHome();
        return base.empty() ? "" : base + "/autostart";
      case kCsidlDesktop:
        return DesktopFolder();
      case kCsidlPrograms:
        base = BaseFolder("XDG_DATA_HOME", "/.local/share");
        return base.empty() ? "" : base + "/applications";
      default:
        return "";
    }
  }
  char Separator() const override { return '/'; }
  std::string LinkExtension() const override { return ".desktop"; }

  // stat follows symbolic links, as the attributes Windows reports for a path do.
  bool IsDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  bool IsFile(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  // 0700: the XDG Base Directory Specification asks for it when a program creates a folder
  // it is about to write to.
  void CreateOneDirectory(const std::string& path) override { ::mkdir(path.c_str(), 0700); }
  void RemoveFile(const std::string& path) override { ::unlink(path.c_str()); }

  // File managers launch an entry on the desktop only when it is executable; in the menu and
  // autostart folders it is plain data.
  void SaveLink(const std::string& path, const ShortcutFields& fields) override {
    const std::size_t slash = path.rfind('/');
    const bool on_desktop =
        slash != std::string::npos && path.substr(0, slash) == FolderPath(kCsidlDesktop);
    WriteFileAtomically(path, DesktopEntryText(fields, icon_name_), on_desktop ? 0755 : 0644);
  }

 private:
  std::string icon_name_;
};

}  // namespace

std::unique_ptr<ShortcutShell> MakeProgramShortcutShell(const std::string& icon_name) {
  return std::make_unique<DesktopEntryShell>(icon_name);
}

}  // namespace kestrion
