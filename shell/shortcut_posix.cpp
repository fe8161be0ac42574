#include "shell/shortcut.h"

#include "base/files_posix.h"
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
//   Startup  $XDG_CONFIG_HOME/autostart    (XDG autostart)
//   Desktop  XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs, else $HOME/Desktop
//   Programs $XDG_DATA_HOME/applications   (freedesktop menus)
// with the XDG defaults $HOME/.config and $HOME/.local/share. Without a usable HOME a folder
// that needs it cannot be located; getpwuid is not asked, so that a program started with a
// stripped environment does not scatter links into a home it was not told about.

namespace kestrion {
namespace {

std::string ConfigHome() { return XdgBaseFolder("XDG_CONFIG_HOME", "/.config"); }

std::string DesktopFolder() {
  const std::string home = XdgBaseFolder("HOME", "");
  const std::string config = ConfigHome();
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string named = DesktopDirFromUserDirs(text, home);
    if (!named.empty()) return named;
  }
  return home.empty() ? "" : home + "/Desktop";
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
        base = XdgBaseFolder("XDG_DATA_HOME", "/.local/share");
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

  // 0700: the XDG base directory rules ask for it when a program creates a folder
  // it is about to write to.
  void CreateOneDirectory(const std::string& path) override { ::mkdir(path.c_str(), 0700); }
  void RemoveFile(const std::string& path) override { ::unlink(path.c_str()); }

  // File managers launch an entry on the desktop only when it is executable; in the menu and
  // autostart folders it is plain data.
  void SaveLink(const std::string& path, const ShortcutFields& fields) override {
    const bool on_desktop = SplitPath(path).folder == FolderPath(kCsidlDesktop);
    // The temporary name does not end in ".desktop", so no menu picks it up meanwhile.
    WriteFileAtomically(path, DesktopEntryText(fields, IconFor(fields)), on_desktop ? 0755 : 0644);
  }

 private:
  // An installed program names its icon in the theme; one run from where it was built has
  // the picture beside it instead, and nothing of it is copied into the user's theme.
  std::string IconFor(const ShortcutFields& fields) {
    if (icon_name_.empty() || fields.working_directory.empty()) return icon_name_;
    const std::string beside = fields.working_directory + icon_name_ + ".png";
    return IsFile(beside) ? beside : icon_name_;
  }

  std::string icon_name_;
};

}  // namespace

std::unique_ptr<ShortcutShell> MakeProgramShortcutShell(const std::string& icon_name) {
  return std::make_unique<DesktopEntryShell>(icon_name);
}

}  // namespace kestrion
