// The settings file read, written and read again gives back what was read, and writing that
// again gives the same text. Then one value is written into the file as the program does it,
// editing the file's lines: only that value may change. The file holds the password: a value
// that changes on the way through is lost data.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/reg_file_format.h"
#include "settings/registry.h"

namespace {

using kestrion::RegFile;

void Fail(const char* what, std::size_t section, std::size_t value) {
  std::fprintf(stderr, "settings round trip: %s differs (section %zu, value %zu)\n", what, section,
               value);
  std::abort();
}

void PrintBytes(const char* label, std::string_view bytes) {
  std::fprintf(stderr, "%s:", label);
  for (const char c : bytes) std::fprintf(stderr, " %02x", static_cast<unsigned char>(c));
  std::fprintf(stderr, "\n");
}

// Field by field, so that a failure names what changed.
void ExpectSame(const RegFile& read, const RegFile& again) {
  if (read.sections.size() != again.sections.size()) Fail("section count", 0, 0);
  for (std::size_t s = 0; s < read.sections.size(); ++s) {
    const auto& a = read.sections[s];
    const auto& b = again.sections[s];
    if (a.key != b.key) {
      PrintBytes("read", a.key);
      PrintBytes("again", b.key);
      Fail("key", s, 0);
    }
    if (a.values.size() != b.values.size()) Fail("value count", s, 0);
    for (std::size_t v = 0; v < a.values.size(); ++v) {
      if (a.values[v].name != b.values[v].name) Fail("name", s, v);
      if (a.values[v].value.type != b.values[v].value.type) Fail("type", s, v);
      if (a.values[v].value.data != b.values[v].value.data) {
        PrintBytes("read", a.values[v].value.data);
        PrintBytes("again", b.values[v].value.data);
        Fail("data", s, v);
      }
    }
  }
}

bool EqualsCi(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// Sets "pswd" in `key` as the file store does, its section first added when it is missing,
// and checks that the file then reads as before with only that value changed.
void CheckWrite(std::string_view text, const RegFile& before, const std::string& key) {
  const kestrion::RegValue value{kestrion::kRegSz, std::string("n\xC3\xA9w\n\0", 6)};
  std::string written(text);
  if (const kestrion::RegDocument opened(written); !opened.HasKey(key))
    written = opened.TextWithKey(key);
  written = kestrion::RegDocument(written).TextWithValue(key, "pswd", value);
  const RegFile after = kestrion::ParseRegFile(written);
  if (after.broken) {
    std::fprintf(stderr, "settings write: the written file does not parse:\n%s\n", written.c_str());
    std::abort();
  }

  // The store reads all sections of one key as that key, the last of a name counting, as
  // regedit would import them: the new value is the last "pswd" of the key's sections. The
  // other "pswd" values of those sections are left out of the comparison.
  RegFile expected = before;
  if (std::none_of(before.sections.begin(), before.sections.end(),
                   [&](const auto& section) { return EqualsCi(section.key, key); }))
    expected.sections.push_back({key, {}});
  RegFile got = after;
  if (got.sections.size() != expected.sections.size()) Fail("section count after a write", 0, 0);
  const kestrion::RegValue* last = nullptr;
  for (auto& section : got.sections) {
    if (!EqualsCi(section.key, key)) continue;
    for (const auto& v : section.values)
      if (EqualsCi(v.name, "pswd")) last = &v.value;
  }
  if (last == nullptr || last->type != value.type || last->data != value.data)
    Fail("the written value", 0, 0);
  for (RegFile* file : {&expected, &got}) {
    for (auto& section : file->sections) {
      if (!EqualsCi(section.key, key)) continue;
      std::erase_if(section.values, [](const auto& v) { return EqualsCi(v.name, "pswd"); });
    }
  }
  ExpectSame(expected, got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const RegFile read = kestrion::ParseRegFile(text);
  const std::string written = kestrion::FormatRegFile(read);
  const RegFile again = kestrion::ParseRegFile(written);
  // What the program writes it must always understand.
  if (again.broken) {
    std::fprintf(stderr, "settings round trip: the written file does not parse:\n%s\n",
                 written.c_str());
    std::abort();
  }
  ExpectSame(read, again);
  if (kestrion::FormatRegFile(again) != written) {
    std::fprintf(stderr, "settings round trip: writing is not stable\n");
    std::abort();
  }

  // Into the first section the program could open, or a new one.
  std::string key = "Software\\Kestrion";
  for (const auto& section : read.sections) {
    if (kestrion::IsOpenableKey(section.key)) {
      key = section.key;
      break;
    }
  }
  CheckWrite(text, read, key);
  return 0;
}
