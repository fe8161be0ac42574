#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/registry.h"

namespace kestrion {

// The syntax of the settings file that stands in for the registry on Linux, that of a regedit
// export: "Windows Registry Editor Version 5.00", [HKEY_CURRENT_USER\...] sections,
// "name"="text", "name"=dword:0000002a, str(2):"...", hex(2):..., hex:..., hex(N):...
// Text in, text out: where the file lives and how it is written is the store's concern.

struct RegFileValue {
  std::string name;
  RegValue value;
};

struct RegFileSection {
  // Relative to HKEY_CURRENT_USER, e.g. "Software\\Kestrion". A section of another hive, or a
  // "[-...]" one, is kept as its header text after a backslash, which no key can start with:
  // "\\HKEY_LOCAL_MACHINE\\Software".
  std::string key;
  std::vector<RegFileValue> values;
};

struct RegFile {
  std::vector<RegFileSection> sections;
  // Set when some line could not be understood; what could be read is still here.
  bool broken = false;
};

// Reads what it can; never throws.
RegFile ParseRegFile(std::string_view text);
// The whole file, header line first, sections and values in their order.
std::string FormatRegFile(const RegFile& file);

// A path below the hive as RegCreateKeyEx takes it: not empty, no empty part, no zero byte or
// line end. This also keeps other hives' sections, whose keys start with a backslash, out of
// reach.
bool IsOpenableKey(std::string_view key);

// A settings file as read, kept line by line so that a change rewrites only the lines it
// must. Key and value names compare without regard to ASCII case, as in the registry.
class RegDocument {
 public:
  // Reads what it can; a line not understood marks the document broken.
  explicit RegDocument(std::string text);
  RegDocument(RegDocument&&) noexcept;
  RegDocument& operator=(RegDocument&&) noexcept;
  ~RegDocument();

  // Some line was not understood; the texts below leave it out.
  bool broken() const;
  // The text as it was read, to keep a broken file aside.
  const std::string& original() const;

  // A key exists when one of its sections is in the file.
  bool HasKey(std::string_view key) const;
  // The value as the last of its lines in the key's sections gives it; nullopt when there is
  // none or that line deletes it ("name"=-).
  std::optional<RegValue> Value(std::string_view key, std::string_view name) const;

  // The file's new text, with the section `key` added at the end when it is missing.
  std::string TextWithKey(std::string_view key) const;
  // The file's new text, with `name` in `key` set to `value`: its lines replaced where it is
  // already written (keeping the name's spelling), else added after the section's last value,
  // in a new section when the key has none.
  std::string TextWithValue(std::string_view key, std::string_view name,
                            const RegValue& value) const;

 private:
  struct Parsed;
  std::unique_ptr<const Parsed> parsed_;
};

}  // namespace kestrion
