#include "settings/registry_file.h"

#include "base/files_posix.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// How the file is kept:
// - A write edits the file's lines: the changed value's lines are replaced, a new value goes
//   after the last value of its section, a new section at the end. Comments, blank lines,
//   spelling and line ends (CRLF stays CRLF) of everything else stay as they were.
// - Lines that are not understood are left out of the rewritten file; the file as it was is
//   first written aside to "<path>.broken" (replacing an older one).
// - Sections of other hives, and "[-HKEY_...]" deletion sections, are kept verbatim but can
//   not be opened; a deletion section deletes nothing, as the file is a state, not a script.
//   In RegFileSection::key such a section is its full header text after a leading backslash,
//   which no openable key has.
// - "name"=- reads as absent. Of a value written twice the last one counts, and is the one
//   a write replaces.
// - A REG_SZ or REG_EXPAND_SZ holding a zero byte or a line end is written as hex(1)/hex(2),
//   UTF-16LE, as regedit does. Such a text that is not UTF-8 has no UTF-16 spelling; it is
//   written in quotes with Wine's \0, \n and \r escapes instead, so that no byte of it is
//   lost. A text is always stored with its one trailing zero byte.
// - A symbolic link at the path is read through but replaced by a regular file on the first
//   write: the rename never writes into the link's target, wherever that is.

namespace kestrion {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kUser = "HKEY_CURRENT_USER";

// ---- Text helpers --------------------------------------------------------------------------

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsCi(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithCi(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsCi(s.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Decodes one code point at s[i] and moves past it; a byte that does not start a valid
// sequence gives U+FFFD and is skipped alone.
char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  constexpr char32_t kInvalid = 0xFFFD;
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t len = b < 0x80         ? 1
                          : (b >> 5) == 6  ? 2
                          : (b >> 4) == 14 ? 3
                          : (b >> 3) == 30 ? 4
                                           : 0;
  char32_t cp = len == 1 ? b : b & (0x7Fu >> len);
  bool valid = len != 0 && i + len <= s.size();
  for (std::size_t k = 1; valid && k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    valid = (c & 0xC0) == 0x80;
    cp = (cp << 6) | (c & 0x3Fu);
  }
  constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  valid = valid && cp >= kShortest[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
  i += valid ? len : 1;
  return valid ? cp : kInvalid;
}

void AppendUtf8(std::string& out, char32_t cp) {
  constexpr unsigned kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
  const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
  out += static_cast<char>(kLead[extra] | (cp >> (6 * extra)));
  for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
}

void AppendUnit(std::string& out, char32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t at = i;
    // U+FFFD spelt out is valid; the same code point from one skipped byte is not.
    if (DecodeUtf8(s, i) == 0xFFFD && i == at + 1) return false;
  }
  return true;
}

std::string Utf8ToUtf16Le(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const char32_t cp = DecodeUtf8(s, i);
    if (cp < 0x10000) {
      AppendUnit(out, cp);
    } else {
      AppendUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
      AppendUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// An unpaired surrogate becomes U+FFFD; an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view s) {
  const auto unit = [&](std::size_t i) -> char32_t {
    return static_cast<unsigned char>(s[i]) |
           (static_cast<char32_t>(static_cast<unsigned char>(s[i + 1])) << 8);
  };
  std::string out;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    char32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < s.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::optional<std::uint32_t> ParseHex(std::string_view s, std::size_t max_digits) {
  std::uint32_t v = 0;
  if (s.empty() || s.size() > max_digits) return std::nullopt;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// ---- Values --------------------------------------------------------------------------------

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
  list = Trim(list);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const auto byte = ParseHex(Trim(list.substr(0, comma)), 2);
    if (!byte) return std::nullopt;
    bytes += static_cast<char>(*byte);
    if (comma == std::string_view::npos) break;
    list = Trim(list.substr(comma + 1));  // a trailing comma is let pass
  }
  return bytes;
}

bool IsText(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

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

// ---- The file as lines ---------------------------------------------------------------------

struct ValueEntry {
  std::string name;
  std::optional<RegValue> value;  // nullopt for "name"=-
  std::size_t first = 0;          // its lines: [first, end)
  std::size_t end = 0;
  bool legacy_text = false;  // hex(1)/hex(2) of a REGEDIT4 file: 8-bit, to be written anew
};

struct SectionEntry {
  std::string key;            // as in RegFileSection
  std::size_t insert_at = 0;  // the line after its last value
  std::vector<ValueEntry> values;
};

struct Document {
  std::string raw;  // as read, for the .broken copy
  std::vector<std::string> lines;
  std::vector<bool> dropped;  // lines not understood
  std::string eol = "\n";
  std::optional<std::size_t> header_line;
  bool regedit4 = false;
  bool broken = false;
  std::vector<SectionEntry> sections;
};

std::optional<std::string> SectionKey(std::string_view line) {
  if (line.size() < 3 || line.back() != ']') return std::nullopt;
  const std::string_view inner = line.substr(1, line.size() - 2);
  const std::string_view root = inner.substr(0, inner.find('\\'));
  if (EqualsCi(root, kUser) || EqualsCi(root, "HKCU")) {
    std::string key(inner.substr(std::min(inner.size(), root.size() + 1)));
    // "[HKEY_CURRENT_USER\\...]" names no key that can be opened; it is kept verbatim like
    // another hive's section, as a key with a leading backslash would write back as "[...]".
    return key.starts_with('\\') ? "\\" + std::string(inner) : key;
  }
  if (inner[0] == '-' || StartsWithCi(root, "HKEY_") || EqualsCi(root, "HKLM") ||
      EqualsCi(root, "HKCR") || EqualsCi(root, "HKU") || EqualsCi(root, "HKCC"))
    return "\\" + std::string(inner);
  return std::nullopt;
}

std::string SectionHeader(std::string_view key) {
  if (!key.empty() && key[0] == '\\') return "[" + std::string(key.substr(1)) + "]";
  return "[" + std::string(kUser) + (key.empty() ? "" : "\\") + std::string(key) + "]";
}

// The value whose line is doc.lines[i]; `last` is set to its last line, continuations
// included, also when the value is not understood.
std::optional<ValueEntry> ParseValue(const Document& doc, std::size_t i, std::size_t& last) {
  last = i;
  const std::string_view s = Trim(doc.lines[i]);
  ValueEntry v;
  std::size_t pos = 0;
  if (s[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(s, pos, v.name)) {
    return std::nullopt;
  }
  std::string_view data = Trim(s.substr(pos));
  if (data.empty() || data[0] != '=') return std::nullopt;
  data = Trim(data.substr(1));
  if (data == "-") return v;

  RegValue value;
  if (data.starts_with('"') || StartsWithCi(data, "str(2):\"")) {
    value.type = data[0] == '"' ? kRegSz : kRegExpandSz;
    std::size_t at = data.find('"');
    if (!ParseQuoted(data, at, value.data) || !Trim(data.substr(at)).empty()) return std::nullopt;
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
    while (Trim(list).ends_with('\\')) {
      list.resize(list.rfind('\\'));
      if (last + 1 == doc.lines.size()) return std::nullopt;
      list += doc.lines[++last];
    }
    auto bytes = ParseHexList(list);
    if (!bytes) return std::nullopt;
    value.type = *type;
    value.data = std::move(*bytes);
    if (IsText(value.type)) {
      v.legacy_text = doc.regedit4;
      std::string_view text = value.data;
      const std::size_t terminator = doc.regedit4 ? 1 : 2;
      if (text.size() >= terminator &&
          text.substr(text.size() - terminator).find_first_not_of('\0') == std::string_view::npos)
        text.remove_suffix(terminator);
      value.data = (doc.regedit4 ? std::string(text) : Utf16LeToUtf8(text)) + '\0';
    }
  } else {
    return std::nullopt;
  }
  v.value = std::move(value);
  return v;
}

Document ParseDocument(std::string raw) {
  Document doc;
  std::string text;
  if (raw.starts_with("\xFF\xFE")) {
    text = Utf16LeToUtf8(std::string_view(raw).substr(2));  // as regedit itself exports
  } else {
    text = raw.substr(raw.starts_with("\xEF\xBB\xBF") ? 3 : 0);
  }
  doc.raw = std::move(raw);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t nl = text.find('\n', start);
    std::string line = text.substr(start, nl - start);
    if (line.ends_with('\r')) {
      line.pop_back();
      if (doc.lines.empty()) doc.eol = "\r\n";
    }
    doc.lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  doc.dropped.assign(doc.lines.size(), false);
  const auto drop = [&doc](std::size_t first, std::size_t last) {
    for (std::size_t k = first; k <= last; ++k) doc.dropped[k] = true;
    doc.broken = true;
  };

  bool content = false;
  bool in_section = false;  // false also inside a section that was not understood
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const std::string_view line = Trim(doc.lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (!std::exchange(content, true) && (line == kHeader || line == kHeader4)) {
      doc.header_line = i;
      doc.regedit4 = line == kHeader4;
    } else if (line[0] == '[') {
      auto key = SectionKey(line);
      in_section = key.has_value();
      if (in_section) {
        doc.sections.push_back({std::move(*key), i + 1, {}});
      } else {
        drop(i, i);
      }
    } else if (line[0] == '"' || line[0] == '@') {
      std::size_t last = i;
      auto value = ParseValue(doc, i, last);
      if (value && in_section) {
        value->first = i;
        value->end = last + 1;
        doc.sections.back().values.push_back(std::move(*value));
        doc.sections.back().insert_at = last + 1;
      } else {
        drop(i, last);  // a value line on its own: the rest of the section stands
      }
      i = last;
    } else {
      drop(i, i);
    }
  }
  return doc;
}

struct Location {
  const SectionEntry* section = nullptr;  // the last section of the key
  const ValueEntry* value = nullptr;      // the last line of the value
};

Location Locate(const Document& doc, std::string_view key, std::string_view name) {
  Location at;
  for (const auto& section : doc.sections) {
    if (!EqualsCi(section.key, key)) continue;
    at.section = &section;
    for (const auto& value : section.values)
      if (EqualsCi(value.name, name)) at.value = &value;
  }
  return at;
}

// Lines [first, end) replaced by `lines`; first == end inserts.
struct Edit {
  std::size_t first = 0;
  std::size_t end = 0;
  std::vector<std::string> lines;
};

std::string Render(const Document& doc, std::vector<Edit> edits) {
  std::stable_sort(edits.begin(), edits.end(),
                   [](const Edit& a, const Edit& b) { return a.first < b.first; });
  std::string out;
  std::size_t e = 0;
  for (std::size_t i = 0; i <= doc.lines.size();) {
    if (e < edits.size() && edits[e].first <= i) {
      for (const auto& line : edits[e].lines) out += line + doc.eol;
      i = std::max(i, edits[e++].end);
      continue;
    }
    if (i == doc.lines.size()) break;
    if (!doc.dropped[i]) out += doc.lines[i] + doc.eol;
    ++i;
  }
  return out;
}

// ---- Files ---------------------------------------------------------------------------------

// Creates what is missing of `dir` and gives it mode 0700. A folder that is not ours keeps
// its mode: the file's own 0600 still guards the password.
bool MakeFolder(const std::string& dir) {
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    if (::mkdir(dir.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  ::chmod(dir.c_str(), 0700);
  return true;
}

// The settings file holds a password: only its owner may read it, in a folder only the owner
// may enter.
bool WriteSettingsFile(const std::string& path, std::string_view data) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  return MakeFolder(dir) && WriteFileAtomically(path, data, 0600);
}

std::optional<Document> Load(const std::string& path) {
  auto raw = ReadWholeFile(path);
  if (!raw) return std::nullopt;
  return ParseDocument(std::move(*raw));
}

// Adds the section `key` when it is missing and, given a value, sets it; then rewrites the
// file, keeping a file that was not understood aside first.
bool WriteChange(const std::string& path, const Document& doc, const std::string& key,
                 const RegFileValue* change) {
  std::vector<Edit> edits;
  if (!doc.header_line) {
    edits.push_back({0, 0, {std::string(kHeader), ""}});
  } else if (doc.regedit4) {
    edits.push_back({*doc.header_line, *doc.header_line + 1, {std::string(kHeader)}});
  }
  Location at = Locate(doc, key, change ? change->name : "");
  if (!change) at.value = nullptr;
  for (const auto& section : doc.sections)
    for (const auto& value : section.values)
      if (value.legacy_text && &value != at.value)
        edits.push_back({value.first, value.end, FormatValueLines(value.name, *value.value)});

  if (!at.section) {
    Edit add{doc.lines.size(), doc.lines.size(), {}};
    std::size_t last = doc.lines.size();
    while (last > 0 && doc.dropped[last - 1]) --last;
    if (last > 0 && !Trim(doc.lines[last - 1]).empty()) add.lines.push_back("");
    add.lines.push_back(SectionHeader(key));
    if (change) {
      const auto lines = FormatValueLines(change->name, change->value);
      add.lines.insert(add.lines.end(), lines.begin(), lines.end());
    }
    add.lines.push_back("");
    edits.push_back(std::move(add));
  } else if (change && at.value) {
    // The name keeps the case it was first written with.
    edits.push_back(
        {at.value->first, at.value->end, FormatValueLines(at.value->name, change->value)});
  } else if (change) {
    edits.push_back({at.section->insert_at, at.section->insert_at,
                     FormatValueLines(change->name, change->value)});
  }
  if (doc.broken && !WriteSettingsFile(path + ".broken", doc.raw)) return false;
  return WriteSettingsFile(path, Render(doc, std::move(edits)));
}

// A path below the hive as RegCreateKeyEx takes it; this also keeps other hives' sections,
// whose keys start with a backslash, out of reach.
bool ValidKey(std::string_view key) {
  return !key.empty() && key.front() != '\\' && key.back() != '\\' &&
         key.find("\\\\") == std::string_view::npos &&
         key.find_first_of(std::string_view("\0\n\r", 3)) == std::string_view::npos;
}

}  // namespace

RegFile ParseRegFile(std::string_view text) {
  RegFile file;
  try {
    const Document doc = ParseDocument(std::string(text));
    file.broken = doc.broken;
    for (const auto& section : doc.sections) {
      RegFileSection out{section.key, {}};
      for (const auto& value : section.values) {
        std::erase_if(out.values,
                      [&](const RegFileValue& v) { return EqualsCi(v.name, value.name); });
        if (value.value) out.values.push_back({value.name, *value.value});
      }
      file.sections.push_back(std::move(out));
    }
  } catch (...) {
    file.broken = true;
  }
  return file;
}

std::string FormatRegFile(const RegFile& file) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const auto& section : file.sections) {
    out += SectionHeader(section.key) + "\n";
    for (const auto& value : section.values)
      for (const auto& line : FormatValueLines(value.name, value.value)) out += line + "\n";
    out += "\n";
  }
  return out;
}

std::string DefaultRegistryFilePath() {
  std::string base = XdgBaseFolder("XDG_CONFIG_HOME", "/.config");
  if (base.empty()) {
    // Started without a usable HOME: the account's own home still holds the settings.
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
      base = std::string(found->pw_dir) + "/.config";
  }
  return base + "/kestrion/registry.reg";
}

RegistryFileBackend::RegistryFileBackend(std::string path) : path_(std::move(path)) {}

bool RegistryFileBackend::KeyExists(const std::string& key) {
  try {
    if (!ValidKey(key)) return false;
    const auto doc = Load(path_);
    return doc && Locate(*doc, key, "").section;
  } catch (...) {
    return false;
  }
}

bool RegistryFileBackend::OpenKey(const std::string& key, bool create) {
  try {
    if (!ValidKey(key)) return false;
    const auto doc = Load(path_);
    if (!doc) return false;
    if (!Locate(*doc, key, "").section && (!create || !WriteChange(path_, *doc, key, nullptr)))
      return false;
    open_key_ = key;
    return true;
  } catch (...) {
    return false;
  }
}

void RegistryFileBackend::CloseKey() { open_key_.clear(); }

std::optional<RegValue> RegistryFileBackend::QueryValue(const std::string& name) {
  try {
    if (open_key_.empty()) return std::nullopt;
    const auto doc = Load(path_);
    if (!doc) return std::nullopt;
    const Location at = Locate(*doc, open_key_, name);
    return at.value ? at.value->value : std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

bool RegistryFileBackend::SetValue(const std::string& name, const RegValue& value) {
  try {
    if (open_key_.empty()) return false;
    const auto doc = Load(path_);
    const RegFileValue change{name, value};
    return doc && WriteChange(path_, *doc, open_key_, &change);
  } catch (...) {
    return false;
  }
}

}  // namespace kestrion
