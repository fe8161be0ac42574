#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrion {

// Copies the address up to the character that ends the host (the third '/', or a '?' after
// the second '/'), that character included, and writes every byte after it as %XX (upper-case
// hex) except the separators '#', '&', '/', '=' and '?'. An address that is already encoded
// is encoded again. Works on bytes: the address is Windows-1251.
std::string EncodeURL(std::string_view address);

// A piece of an address under construction. Pieces marked `user_text` come from what the user
// typed (login, password): their bytes never act as separators.
struct UrlPiece {
  std::string_view bytes;
  bool user_text = false;
};

// EncodeURL of the joined pieces, except that every byte of a user-text piece after the host
// is encoded, separators included, and before it every byte outside A-Z a-z 0-9 "-._~".
std::string EncodeURLPieces(const std::vector<UrlPiece>& pieces);

// The joined pieces with only the user-text bytes outside A-Z a-z 0-9 "-._~" percent-encoded:
// what the billing server decodes is what the user typed.
std::string JoinURLPieces(const std::vector<UrlPiece>& pieces);

}  // namespace kestrion
