#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrion {

// The program keeps its texts in UTF-8. The billing server has always received its addresses
// as Windows-1251 bytes, so that is what leaves the program on the wire.

// A character that Windows-1251 cannot hold becomes '?', as the system's converter does;
// bytes that are not valid UTF-8 become '?' too.
std::string Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view cp1251);

// The first `max_chars` characters (code points) of a UTF-8 text, never cutting a character
// in half.
std::string Utf8Prefix(std::string_view utf8, std::size_t max_chars);

}  // namespace kestrion
