#include "settings/reg_file_format.h"

#include "base/text_codec.h"
#include "settings/reg_file_value.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How the file is kept:
// - A write edits the file's lines: the changed value's lines are replaced, a new value goes
//   after the last value of its section, a new section at the end. Comments, blank lines,
//   spelling and line ends (CRLF stays CRLF) of everything else stay as they were.
// - Lines that are not understood are left out of the rewritten file (the store keeps the
//   file as it was aside first).
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

namespace kestrion {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kUser = "HKEY_CURRENT_USER";

struct ValueEntry : ParsedRegValue {
  std::size_t first = 0;  // its lines: [first, end)
  std::size_t end = 0;
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
    const std::string_view line = TrimBlanks(doc.lines[i]);
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
      auto value = ParseValueLines(doc.lines, i, doc.regedit4, last);
      if (value && in_section) {
        doc.sections.back().values.push_back({std::move(*value), i, last + 1});
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

// The text after adding the section `key` when it is missing and, given a value, setting it.
// A REGEDIT4 file is written as version 5, its 8-bit hex(1)/hex(2) texts anew as UTF-16.
std::string RenderChange(const Document& doc, std::string_view key, const RegFileValue* change) {
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
    if (last > 0 && !TrimBlanks(doc.lines[last - 1]).empty()) add.lines.push_back("");
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
  return Render(doc, std::move(edits));
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

bool IsOpenableKey(std::string_view key) {
  return !key.empty() && key.front() != '\\' && key.back() != '\\' &&
         key.find("\\\\") == std::string_view::npos &&
         key.find_first_of(std::string_view("\0\n\r", 3)) == std::string_view::npos;
}

struct RegDocument::Parsed {
  Document doc;
};

RegDocument::RegDocument(std::string text)
    : parsed_(std::make_unique<const Parsed>(Parsed{ParseDocument(std::move(text))})) {}
RegDocument::RegDocument(RegDocument&&) noexcept = default;
RegDocument& RegDocument::operator=(RegDocument&&) noexcept = default;
RegDocument::~RegDocument() = default;

bool RegDocument::broken() const { return parsed_->doc.broken; }

const std::string& RegDocument::original() const { return parsed_->doc.raw; }

bool RegDocument::HasKey(std::string_view key) const {
  return Locate(parsed_->doc, key, "").section != nullptr;
}

std::optional<RegValue> RegDocument::Value(std::string_view key, std::string_view name) const {
  const Location at = Locate(parsed_->doc, key, name);
  return at.value ? at.value->value : std::nullopt;
}

std::string RegDocument::TextWithKey(std::string_view key) const {
  return RenderChange(parsed_->doc, key, nullptr);
}

std::string RegDocument::TextWithValue(std::string_view key, std::string_view name,
                                       const RegValue& value) const {
  const RegFileValue change{std::string(name), value};
  return RenderChange(parsed_->doc, key, &change);
}

}  // namespace kestrion
