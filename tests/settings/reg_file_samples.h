#pragma once

// Values of every type, spelt every way the settings file must keep, for the tests of its
// format and of the file itself.

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "settings/reg_file_format.h"
#include "settings/registry.h"

namespace kestrion::test {

using namespace std::string_literals;

inline RegValue Sz(const std::string& text) { return {kRegSz, text + '\0'}; }

inline RegValue Dword(std::uint32_t v) {
  std::string data;
  for (int i = 0; i < 4; ++i) data += static_cast<char>((v >> (8 * i)) & 0xFF);
  return {kRegDword, data};
}

// Readable in a failure message: "type:hex bytes".
inline std::string Show(const std::optional<RegValue>& value) {
  if (!value) return "absent";
  std::ostringstream out;
  out << value->type << ':' << std::hex;
  for (const char c : value->data) out << ' ' << static_cast<int>(static_cast<unsigned char>(c));
  return out.str();
}

inline std::vector<RegFileValue> Samples() {
  std::string blob;
  for (int i = 0; i < 100; ++i) blob += static_cast<char>(i);
  return {
      {"login", Sz(R"(say "hi" \ back\slash\)")},
      {"pswd", Sz("пароль=;[x] ")},
      {"empty", Sz("")},
      {"", Sz("default value")},
      {R"(name "quoted" \ )", Sz("v")},
      {"zero", Sz("a\0b"s)},
      {"lines", Sz("one\r\ntwo\n")},
      {"emoji", Sz("\xF0\x9F\x98\x80\n")},
      {"Top", Dword(0)},
      {"Left", Dword(0xFFFFFFFF)},
      {"Width", Dword(static_cast<std::uint32_t>(std::int32_t{-42}))},
      {"expand", {kRegExpandSz, "%HOME%\\bin\0"s}},
      {"expand lines", {kRegExpandSz, "a\nб\0"s}},
      {"cp1251 lines", Sz("\xCF\xE0\n\xF0\0"s)},
      {"blob", {kRegBinary, blob}},
      {"none", {kRegNone, ""}},
      {"multi", {7, "a\0b\0\0"s}},
      {"qword", {11, "\x01\0\0\0\0\0\0\x80"s}},
      {"short dword", {kRegDword, "\x01\x02"}},
  };
}

}  // namespace kestrion::test
