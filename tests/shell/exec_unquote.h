#pragma once

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// A strict reader of Desktop Entry files, written from the format's rules independently of the
// writer: whatever it accepts, a desktop environment reads the same way.
namespace kestrion::test {

// The raw values of the "[Desktop Entry]" group by key; a line of any other shape is kept
// under the key "!" so a test can see it.
inline std::map<std::string, std::string> ReadDesktopEntry(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "[Desktop Entry]") keys["!"] = line;
  while (std::getline(in, line)) {
    // Spaces around '=' are not part of the key or the value.
    const std::size_t eq = line.find('=');
    const std::size_t key_end = line.find_last_not_of(' ', eq - 1);
    if (eq == std::string::npos || eq == 0 || key_end == std::string::npos) {
      keys["!"] = line;
      continue;
    }
    const std::size_t value = line.find_first_not_of(' ', eq + 1);
    keys[line.substr(0, key_end + 1)] = value == std::string::npos ? "" : line.substr(value);
  }
  return keys;
}

// The string escapes \s \n \t \r \\; nullopt for any other, or a raw control character.
inline std::optional<std::string> UnescapeDesktopValue(std::string_view value) {
  constexpr std::string_view kCodes = "sntr\\", kChars = " \n\t\r\\";
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (c != '\\') {
      out += value[i];
      continue;
    }
    if (++i == value.size() || kCodes.find(value[i]) == std::string_view::npos) return std::nullopt;
    out += kChars[kCodes.find(value[i])];
  }
  return out;
}

// Splits an unescaped Exec value into arguments, separated by spaces. An argument with a
// reserved character must be in double quotes, inside which '"', '`', '$' and '\' appear only
// escaped with a backslash; quoting is undone before "%%" becomes '%'. Anything else (an
// unclosed quote, a reserved character outside quotes, a field code) gives nullopt.
inline std::optional<std::vector<std::string>> UnquoteExec(std::string_view exec) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < exec.size()) {
    if (exec[i] == ' ') {
      ++i;
      continue;
    }
    std::string arg;
    if (exec[i] == '"') {
      for (++i;; ++i) {
        if (i == exec.size()) return std::nullopt;
        if (exec[i] == '"') break;
        if (exec[i] == '`' || exec[i] == '$') return std::nullopt;
        if (exec[i] == '\\') {
          if (++i == exec.size() ||
              std::string_view("\"`$\\").find(exec[i]) == std::string_view::npos)
            return std::nullopt;
        }
        arg += exec[i];
      }
      if (++i < exec.size() && exec[i] != ' ') return std::nullopt;
    } else {
      for (; i < exec.size() && exec[i] != ' '; ++i) {
        if (kReserved.find(exec[i]) != std::string_view::npos) return std::nullopt;
        arg += exec[i];
      }
    }
    std::string expanded;
    for (std::size_t k = 0; k < arg.size(); ++k) {
      if (arg[k] == '%' && (++k == arg.size() || arg[k] != '%')) return std::nullopt;
      expanded += arg[k];
    }
    args.push_back(expanded);
  }
  return args;
}

// The Exec line of a file as the program it starts and its arguments.
inline std::optional<std::vector<std::string>> ExecArguments(const std::string& file_text) {
  const auto keys = ReadDesktopEntry(file_text);
  const auto exec = keys.find("Exec");
  if (exec == keys.end()) return std::nullopt;
  const auto unescaped = UnescapeDesktopValue(exec->second);
  return unescaped ? UnquoteExec(*unescaped) : std::nullopt;
}

}  // namespace kestrion::test
