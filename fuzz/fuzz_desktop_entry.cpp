// A shortcut's Desktop Entry file, read back the way a desktop reads it: the Exec line starts
// the very target it was given, and the texts come back as they were. Targets with control
// characters other than tab, newline and carriage return have no spelling in the format and
// are left out.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "shell/desktop_entry.h"
#include "tests/shell/exec_unquote.h"

namespace {

bool Writable(std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && c != '\t' && c != '\n' && c != '\r') || b == 0x7F) return false;
  }
  return true;
}

[[noreturn]] void Fail(const char* what, const std::string& file) {
  std::fprintf(stderr, "desktop entry: %s in\n%s\n", what, file.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // target \0 description \0 working directory \0 icon \0 arguments
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t zero = input.find('\0', start);
    parts.emplace_back(input.substr(start, zero - start));
    if (zero == std::string_view::npos) break;
    start = zero + 1;
  }
  parts.resize(std::max<std::size_t>(parts.size(), 5));
  kestrion::ShortcutFields fields;
  fields.target = parts[0];
  fields.description = parts[1];
  fields.working_directory = parts[2];
  fields.arguments = parts[4];
  const std::string& icon = parts[3];

  // The whole input as a user-dirs.dirs file: a folder is absolute, without a trailing '/'.
  const std::string desktop = kestrion::DesktopDirFromUserDirs(std::string(input), "/home/u");
  if (!desktop.empty() && (desktop.front() != '/' || (desktop.size() > 1 && desktop.back() == '/')))
    Fail("a desktop folder that is not absolute", desktop);

  // The target alone, as one argument of its own.
  const std::string quoted = kestrion::QuoteExecArgument(fields.target);
  if (Writable(fields.target)) {
    const auto unescaped = kestrion::test::UnescapeDesktopValue(quoted);
    if (!unescaped) Fail("the quoted target is not a valid string", quoted);
    const auto args = kestrion::test::UnquoteExec(*unescaped);
    if (!args || args->size() != 1 || (*args)[0] != fields.target)
      Fail("the quoted target does not unquote to itself", quoted);
  }

  const std::string file = kestrion::DesktopEntryText(fields, icon);
  for (const auto& text : {fields.target, fields.description, fields.working_directory, icon}) {
    if (!Writable(text)) return 0;
  }
  const auto keys = kestrion::test::ReadDesktopEntry(file);
  if (keys.count("!")) Fail("a line that is not a key", file);
  const auto value = [&](const char* key) -> std::string {
    const auto it = keys.find(key);
    if (it == keys.end()) return {};
    const auto unescaped = kestrion::test::UnescapeDesktopValue(it->second);
    if (!unescaped) Fail("a value that is not a valid string", file);
    return *unescaped;
  };
  if (value("Name") != fields.description || value("Comment") != fields.description)
    Fail("the title changed", file);
  if (value("Path") != fields.working_directory) Fail("the working directory changed", file);
  if (value("Icon") != icon) Fail("the icon changed", file);

  // The arguments are Exec syntax already; whatever they hold, the target stays the first
  // argument on its own.
  if (!Writable(fields.arguments)) return 0;
  const auto args = kestrion::test::ExecArguments(file);
  if (fields.arguments.empty() && (!args || args->size() != 1))
    Fail("the Exec line is not the target alone", file);
  if (args && (args->empty() || (*args)[0] != fields.target))
    Fail("the Exec line starts another program", file);
  return 0;
}
