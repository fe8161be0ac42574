#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrion {

// The program keeps its texts in UTF-8. The billing server has always received its addresses
// as Windows-1251 bytes, so that is what leaves the program on the wire; the settings file
// spells some texts as UTF-16LE, as regedit does.

// One code point of UTF-8 at s[pos], moving pos past it. A byte that does not start a valid
// sequence (a stray continuation byte, a cut-off, overlong or surrogate sequence, beyond
// U+10FFFF) gives nullopt and moves pos on by that one byte. pos must be below s.size().
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& pos);

// True when every byte belongs to a valid sequence.
bool IsUtf8(std::string_view s);

// A byte that is not valid UTF-8 becomes U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD; an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view utf16le);

// A character that Windows-1251 cannot hold becomes '?', as the system's converter does;
// bytes that are not valid UTF-8 become '?' too.
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view cp1251);
// The character of one Windows-1251 byte.
char32_t Cp1251CodePoint(unsigned char byte);

// The first `max_chars` characters (code points) of a UTF-8 text, never cutting a character
// in half. A byte that is not valid UTF-8 counts as one character.
std::string Utf8Prefix(std::string_view utf8, std::size_t max_chars);

}  // namespace kestrion
