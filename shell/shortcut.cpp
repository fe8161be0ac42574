#include "shell/shortcut.h"

#include <string>
#include <utility>

namespace kestrion {
namespace {

struct Location {
  std::string folder;  // "" when the folder cannot be located
  std::string path;
};

Location Locate(ShortcutShell& shell, int csidl, const std::string& title) {
  std::string folder = shell.FolderPath(csidl);
  if (folder.empty()) return {};
  std::string path = folder + shell.Separator() + ShortcutName(title) + shell.LinkExtension();
  return {std::move(folder), std::move(path)};
}

// "C:\dir\prog.exe" -> "C:\dir\"; a target without a folder works in no particular one.
std::string FolderOf(const std::string& target, char separator) {
  const std::size_t pos = target.rfind(separator);
  return pos == std::string::npos ? std::string() : target.substr(0, pos + 1);
}

}  // namespace

std::string ShortcutName(const std::string& title) {
  const std::size_t pos = title.find_last_of("\\:");
  return pos == std::string::npos ? title : title.substr(pos + 1);
}

std::string GetShortcutPath(ShortcutShell& shell, int csidl, const std::string& title) {
  return Locate(shell, csidl, title).path;
}

void CreateShortcut(ShortcutShell& shell, int csidl, const std::string& arguments,
                    const std::string& target, const std::string& title) {
  const Location link = Locate(shell, csidl, title);
  if (link.path.empty()) return;
  // The link's own folder is the special folder itself, since the name holds no backslash.
  // Taking it from the folder rather than cutting the path at its last separator also keeps a
  // '/' in a title from creating a folder on Linux. Missing parents are left missing: the save
  // then fails, silently.
  if (!shell.IsDirectory(link.folder)) shell.CreateOneDirectory(link.folder);
  ShortcutFields fields;
  fields.target = target;
  fields.description = title;
  fields.arguments = arguments;
  fields.show_command = 5;
  fields.working_directory = FolderOf(target, shell.Separator());
  shell.SaveLink(link.path, fields);
}

void DeleteShortcut(ShortcutShell& shell, int csidl, const std::string& title) {
  const std::string path = GetShortcutPath(shell, csidl, title);
  if (!path.empty()) shell.RemoveFile(path);
}

bool ShortcutExists(ShortcutShell& shell, int csidl, const std::string& title) {
  const std::string path = GetShortcutPath(shell, csidl, title);
  return !path.empty() && shell.IsFile(path);
}

}  // namespace kestrion
