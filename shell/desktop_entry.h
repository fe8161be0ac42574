#pragma once

#include <string>

#include "shell/shortcut.h"

namespace kestrion {

// A Desktop Entry file (the freedesktop Desktop Entry format, version 1.5) for a shortcut:
// Type=Application, Name and Comment = the description, Exec = the target quoted by the
// Exec rules followed by the arguments, Path = the working directory, Icon, Terminal=false.
std::string DesktopEntryText(const ShortcutFields& fields, const std::string& icon);

// One Exec argument as it must be written in the file: quoted when it holds a reserved
// character, '"', '`', '$' and '\' escaped inside the quotes, '%' doubled, and the string
// escapes of the file format applied on top.
std::string QuoteExecArgument(const std::string& argument);

// The desktop folder named by XDG_DESKTOP_DIR in the text of a user-dirs.dirs file, with
// "$HOME" expanded; "" when the file does not name one.
std::string DesktopDirFromUserDirs(const std::string& user_dirs_text, const std::string& home);

}  // namespace kestrion
