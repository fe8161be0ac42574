#include "shell/desktop_entry.h"

#include <sstream>
#include <string>
#include <string_view>

// Choices the Desktop Entry format leaves open:
// - Path keeps the working directory's trailing '/': it names the same folder, and the file
//   then shows exactly what the shortcut was given. An empty one, and an empty icon, leave
//   their keys out rather than writing an empty value.
// - The arguments are a command-line text in Exec syntax already, as Windows takes them; only
//   '%' is doubled, so that they cannot expand to a file or an address.
// - Control characters other than tab, newline and carriage return have no escape in the
//   format; they are written as they are and such a file does not validate.

namespace kestrion {
namespace {

// The string escapes of the format. A leading space would be lost with the spaces around '=',
// hence \s.
std::string EscapeValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    switch (const char c = value[i]) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case ' ':
        out += i == 0 ? "\\s" : " ";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string DoublePercent(std::string_view value) {
  std::string out;
  for (const char c : value) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

bool IsReserved(char c) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  return kReserved.find(c) != std::string_view::npos;
}

void AddKey(std::string& text, std::string_view key, const std::string& escaped) {
  text.append(key).append("=").append(escaped).append("\n");
}

// From the opening quote at value[0]: the text up to the first unescaped '"', a backslash
// taking the next character literally, as xdg-user-dirs reads it. False when the quote is
// never closed.
bool ReadQuoted(std::string_view value, std::string& out) {
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (value[i] == '"') return true;
    if (value[i] == '\\' && i + 1 < value.size()) ++i;
    out += value[i];
  }
  return false;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

}  // namespace

std::string QuoteExecArgument(const std::string& argument) {
  bool quote = argument.empty();
  for (const char c : argument) quote = quote || IsReserved(c);
  if (!quote) return EscapeValue(DoublePercent(argument));
  std::string exec = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') exec += '\\';
    exec += c;
    if (c == '%') exec += '%';
  }
  exec += '"';
  return EscapeValue(exec);
}

std::string DesktopEntryText(const ShortcutFields& fields, const std::string& icon) {
  std::string exec = QuoteExecArgument(fields.target);
  if (!fields.arguments.empty()) exec += " " + EscapeValue(DoublePercent(fields.arguments));
  std::string text = "[Desktop Entry]\n";
  AddKey(text, "Type", "Application");
  AddKey(text, "Name", EscapeValue(fields.description));
  AddKey(text, "Comment", EscapeValue(fields.description));
  AddKey(text, "Exec", exec);
  if (!fields.working_directory.empty())
    AddKey(text, "Path", EscapeValue(fields.working_directory));
  if (!icon.empty()) AddKey(text, "Icon", EscapeValue(icon));
  AddKey(text, "Terminal", "false");
  return text;
}

std::string DesktopDirFromUserDirs(const std::string& user_dirs_text, const std::string& home) {
  constexpr std::string_view kKey = "XDG_DESKTOP_DIR";
  constexpr std::string_view kHome = "$HOME";
  std::string found;
  std::istringstream in(user_dirs_text);
  for (std::string line; std::getline(in, line);) {
    std::string_view rest = TrimLeft(line);
    if (rest.substr(0, kKey.size()) != kKey) continue;
    rest = TrimLeft(rest.substr(kKey.size()));
    if (rest.empty() || rest.front() != '=') continue;
    rest = TrimLeft(rest.substr(1));
    std::string value;
    if (rest.empty() || rest.front() != '"' || !ReadQuoted(rest, value)) continue;
    // Either absolute or under $HOME; anything else is not a folder xdg-user-dirs would name.
    std::string dir;
    if (value.substr(0, kHome.size()) == kHome &&
        (value.size() == kHome.size() || value[kHome.size()] == '/')) {
      if (home.empty()) continue;
      dir = home + value.substr(kHome.size());
    } else if (!value.empty() && value.front() == '/') {
      dir = value;
    } else {
      continue;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    found = dir;  // the last valid line counts, as in xdg-user-dirs
  }
  return found;
}

}  // namespace kestrion
