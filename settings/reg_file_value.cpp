#include "settings/reg_file_value.h"

#include "base/text_codec.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrion {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::optional<std::uint32_t> ParseHex(std::string_view s, std::size_t max_digits) {
  std::uint32_t v = 0;
  if (s.empty() || s.size() > max_digits) return std::nullopt;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// Inside quotes: \\ and \", and Wine's \n, \r and \0.
constexpr std::string_view kEscapes = "\\\"nr0";
constexpr std::string_view kEscaped("\\\"\n\r\0", 5);

// The text of "..." from s[pos], which is the opening quote; pos ends after the closing one.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == '"') {
      pos = i + 1;
      return true;
    }
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    const std::size_t k = ++i < s.size() ? kEscapes.find(s[i]) : std::string_view::npos;
    if (k == std::string_view::npos) return false;
    out += kEscaped[k];
  }
  return false;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    const std::size_t k = kEscaped.find(c);
    if (k != std::string_view::npos) out += '\\';
    out += k == std::string_view::npos ? c : kEscapes[k];
  }
  return out + '"';
}

std::optional<std::string> ParseHexList(std::string_view list) {
  std::string bytes;
  list = TrimBlanks(list);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const auto byte = ParseHex(TrimBlanks(list.substr(0, comma)), 2);
    if (!byte) return std::nullopt;
    bytes += static_cast<char>(*byte);
    if (comma == std::string_view::npos) break;
    list = TrimBlanks(list.substr(comma + 1));  // a trailing comma is let pass
  }
  return bytes;
}

bool IsText(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

}  // namespace

bool EqualsCi(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithCi(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsCi(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string> FormatValueLines(std::string_view name, const RegValue& value) {
  const std::string head = name.empty() ? "@=" : Quote(name) + "=";
  std::string_view data = value.data;
  std::string bytes;
  if (IsText(value.type)) {
    if (!data.empty() && data.back() == '\0') data.remove_suffix(1);
    if (data.find_first_of(std::string_view("\0\n\r", 3)) == std::string_view::npos ||
        !IsUtf8(data))
      return {head + (value.type == kRegExpandSz ? "str(2):" : "") + Quote(data)};
    bytes = Utf8ToUtf16Le(data) + std::string(2, '\0');
    data = bytes;
  } else if (value.type == kRegDword && data.size() == 4) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[i]);
    char digits[9];
    const auto end = std::to_chars(digits, digits + 8, v, 16).ptr;
    return {head + "dword:" + std::string(8 - (end - digits), '0') + std::string(digits, end)};
  }
  char type[9];
  const auto type_end = std::to_chars(type, type + 8, value.type, 16).ptr;
  std::string line =
      head + (value.type == kRegBinary ? "hex:" : "hex(" + std::string(type, type_end) + "):");
  std::vector<std::string> lines;
  constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    line += kDigits[b >> 4];
    line += kDigits[b & 15];
    if (i + 1 == data.size()) break;
    line += ',';
    if (line.size() > 76) {  // regedit keeps its lines within 80 characters
      lines.push_back(line + '\\');
      line = "  ";
    }
  }
  lines.push_back(line);
  return lines;
}

std::optional<ParsedRegValue> ParseValueLines(const std::vector<std::string>& lines,
                                              std::size_t first, bool regedit4, std::size_t& last) {
  last = first;
  const std::string_view s = TrimBlanks(lines[first]);
  ParsedRegValue v;
  std::size_t pos = 0;
  if (s[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(s, pos, v.name)) {
    return std::nullopt;
  }
  std::string_view data = TrimBlanks(s.substr(pos));
  if (data.empty() || data[0] != '=') return std::nullopt;
  data = TrimBlanks(data.substr(1));
  if (data == "-") return v;

  RegValue value;
  if (data.starts_with('"') || StartsWithCi(data, "str(2):\"")) {
    value.type = data[0] == '"' ? kRegSz : kRegExpandSz;
    std::size_t at = data.find('"');
    if (!ParseQuoted(data, at, value.data) || !TrimBlanks(data.substr(at)).empty())
      return std::nullopt;
    value.data += '\0';
  } else if (StartsWithCi(data, "dword:")) {
    const auto dword = ParseHex(data.substr(6), 8);
    if (!dword) return std::nullopt;
    value.type = kRegDword;
    for (int k = 0; k < 4; ++k) value.data += static_cast<char>((*dword >> (8 * k)) & 0xFF);
  } else if (StartsWithCi(data, "hex")) {
    const std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view kind = data.substr(3, colon - 3);
    const auto type = kind.empty() ? std::optional<std::uint32_t>(kRegBinary)
                      : kind.size() > 2 && kind.front() == '(' && kind.back() == ')'
                          ? ParseHex(kind.substr(1, kind.size() - 2), 8)
                          : std::nullopt;
    if (!type) return std::nullopt;
    std::string list(data.substr(colon + 1));
    while (TrimBlanks(list).ends_with('\\')) {
      list.resize(list.rfind('\\'));
      if (last + 1 == lines.size()) return std::nullopt;
      list += lines[++last];
    }
    auto bytes = ParseHexList(list);
    if (!bytes) return std::nullopt;
    value.type = *type;
    value.data = std::move(*bytes);
    if (IsText(value.type)) {
      v.legacy_text = regedit4;
      std::string_view text = value.data;
      const std::size_t terminator = regedit4 ? 1 : 2;
      if (text.size() >= terminator &&
          text.substr(text.size() - terminator).find_first_not_of('\0') == std::string_view::npos)
        text.remove_suffix(terminator);
      value.data = (regedit4 ? std::string(text) : Utf16LeToUtf8(text)) + '\0';
    }
  } else {
    return std::nullopt;
  }
  v.value = std::move(value);
  return v;
}

}  // namespace kestrion
