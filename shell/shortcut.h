#pragma once

#include <memory>
#include <string>

namespace kestrion {

// Shortcuts to the program in three of the user's special folders, numbered as the shell
// numbers them.
inline constexpr int kCsidlDesktop = 0;
inline constexpr int kCsidlPrograms = 2;
inline constexpr int kCsidlStartup = 7;

// What a shortcut holds.
struct ShortcutFields {
  std::string target;             // the program's full path
  std::string description;        // the title
  std::string arguments;          // passed after the target
  int show_command = 5;           // SW_SHOW
  std::string working_directory;  // the target's folder, ending in its separator
};

// What the shortcut manager needs of the system: the shell and the file system on Windows,
// the freedesktop folders and Desktop Entry files on Linux. No operation reports a failure.
class ShortcutShell {
 public:
  virtual ~ShortcutShell() = default;
  // The special folder's file-system path, or "" when it cannot be located.
  virtual std::string FolderPath(int csidl) = 0;
  virtual char Separator() const = 0;             // '\\' or '/'
  virtual std::string LinkExtension() const = 0;  // ".lnk" or ".desktop"
  virtual bool IsDirectory(const std::string& path) = 0;
  virtual bool IsFile(const std::string& path) = 0;              // exists and is not a directory
  virtual void CreateOneDirectory(const std::string& path) = 0;  // no parents; may fail
  virtual void RemoveFile(const std::string& path) = 0;
  // Writes the link file, replacing what is at `path`.
  virtual void SaveLink(const std::string& path, const ShortcutFields& fields) = 0;
};

// The file-name part of a title: what follows its last '\' or ':', or all of it.
std::string ShortcutName(const std::string& title);

// <folder><separator><name><extension>, or "" when the folder cannot be located.
std::string GetShortcutPath(ShortcutShell& shell, int csidl, const std::string& title);

// Makes the folder when it is missing (one level only), then writes a link to `target` with
// `arguments`, described by `title`, working in the target's folder. Nothing is written when
// the folder cannot be located.
void CreateShortcut(ShortcutShell& shell, int csidl, const std::string& arguments,
                    const std::string& target, const std::string& title);
void DeleteShortcut(ShortcutShell& shell, int csidl, const std::string& title);
// True when a file (not a directory) stands at the shortcut's path.
bool ShortcutExists(ShortcutShell& shell, int csidl, const std::string& title);

// The shell of this platform. On Linux: Startup is $XDG_CONFIG_HOME/autostart, Desktop the
// XDG_DESKTOP_DIR of user-dirs.dirs (else $HOME/Desktop), Programs
// $XDG_DATA_HOME/applications; links are Desktop Entry files naming the icon `icon_name`, or
// the file `icon_name`.png beside the target where there is one (a program not installed).
std::unique_ptr<ShortcutShell> MakeProgramShortcutShell(const std::string& icon_name);

}  // namespace kestrion
