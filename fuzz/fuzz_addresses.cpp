// The request addresses built from any base, login and password (the input split at its zero
// bytes), checked against what each builder promises rather than against a second copy of it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_codec.h"
#include "settings/encode_url.h"

namespace {

using kestrion::UrlPiece;

[[noreturn]] void Fail(const char* what, std::string_view subject) {
  std::fprintf(stderr, "addresses: %s: \"", what);
  for (const char c : subject) std::fprintf(stderr, "\\x%02X", static_cast<unsigned char>(c));
  std::fprintf(stderr, "\"\n");
  std::abort();
}

bool IsUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool IsSeparator(char c) { return c == '#' || c == '&' || c == '/' || c == '=' || c == '?'; }

std::optional<int> HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return std::nullopt;  // lower-case hex is not what the builders write
}

// One output token at out[pos]: "%XX" decodes to its byte, anything else stands for itself.
struct Token {
  char byte;
  bool encoded;
};

std::optional<Token> NextToken(std::string_view out, std::size_t& pos) {
  if (pos >= out.size()) return std::nullopt;
  if (out[pos] != '%') return Token{out[pos++], false};
  if (pos + 2 >= out.size()) return std::nullopt;
  const auto hi = HexDigit(out[pos + 1]);
  const auto lo = HexDigit(out[pos + 2]);
  if (!hi || !lo) return std::nullopt;
  pos += 3;
  return Token{static_cast<char>(*hi * 16 + *lo), true};
}

// The index of the byte that ends the host: the third '/', or a '?' after the second '/'.
std::size_t HostEnd(std::string_view address) {
  const std::size_t first = address.find('/');
  if (first == std::string_view::npos) return std::string_view::npos;
  const std::size_t second = address.find('/', first + 1);
  if (second == std::string_view::npos) return std::string_view::npos;
  return address.find_first_of("/?", second + 1);
}

void CheckEncodeURL(std::string_view address) {
  const std::string out = kestrion::EncodeURL(address);
  const std::size_t end = HostEnd(address);
  const std::size_t copied = end == std::string_view::npos ? address.size() : end + 1;
  if (std::string_view(out).substr(0, copied) != address.substr(0, copied))
    Fail("EncodeURL changed the address before the host end", address);
  std::size_t pos = copied;
  for (const char c : address.substr(copied)) {
    const auto token = NextToken(out, pos);
    if (!token || token->byte != c) Fail("EncodeURL lost a byte after the host", address);
    // Separators stay as they are; every other byte becomes %XX.
    if (token->encoded == IsSeparator(c)) Fail("EncodeURL wrote a byte wrongly", address);
  }
  if (pos != out.size()) Fail("EncodeURL added bytes", address);
}

void CheckJoin(const std::vector<UrlPiece>& pieces) {
  std::string whole;
  for (const UrlPiece& piece : pieces) {
    const std::string out = kestrion::JoinURLPieces({piece});
    whole += out;
    if (!piece.user_text) {
      if (out != piece.bytes) Fail("JoinURLPieces changed a fixed piece", piece.bytes);
      continue;
    }
    // Percent-decoded, the user's piece is exactly what was typed, and nothing of it is left
    // raw that the server could read as syntax.
    std::size_t pos = 0;
    for (const char c : piece.bytes) {
      const auto token = NextToken(out, pos);
      if (!token || token->byte != c) Fail("JoinURLPieces lost a user byte", piece.bytes);
      if (token->encoded == IsUnreserved(c))
        Fail("JoinURLPieces wrote a user byte wrongly", piece.bytes);
    }
    if (pos != out.size()) Fail("JoinURLPieces added bytes", piece.bytes);
  }
  if (kestrion::JoinURLPieces(pieces) != whole)
    Fail("JoinURLPieces depends on its neighbours", whole);
}

void CheckEncodePieces(const std::vector<UrlPiece>& pieces) {
  std::string joined;
  std::vector<UrlPiece> plain;
  for (const UrlPiece& piece : pieces) {
    joined += piece.bytes;
    plain.push_back({piece.bytes, false});
  }
  if (kestrion::EncodeURLPieces(plain) != kestrion::EncodeURL(joined))
    Fail("EncodeURLPieces without user text is not EncodeURL", joined);

  const std::string out = kestrion::EncodeURLPieces(pieces);
  const std::size_t end = HostEnd(joined);
  std::size_t index = 0;  // into `joined`
  std::size_t pos = 0;    // into `out`
  for (const UrlPiece& piece : pieces) {
    for (const char c : piece.bytes) {
      const bool after_host = end != std::string_view::npos && index > end;
      if (!piece.user_text && !after_host) {
        // The base up to its host end is copied, '%' included.
        if (pos >= out.size() || out[pos] != c)
          Fail("EncodeURLPieces changed the base before the host end", joined);
        ++pos;
        ++index;
        continue;
      }
      const auto token = NextToken(out, pos);
      if (!token || token->byte != c) Fail("EncodeURLPieces lost a byte", joined);
      bool raw_allowed = true;
      if (piece.user_text) raw_allowed = !after_host && IsUnreserved(c);
      if (!piece.user_text && after_host) raw_allowed = IsSeparator(c);
      if (!token->encoded && !raw_allowed) Fail("EncodeURLPieces let a byte through", joined);
      if (token->encoded && !piece.user_text && after_host && IsSeparator(c))
        Fail("EncodeURLPieces encoded a separator of the base", joined);
      ++index;
    }
  }
  if (pos != out.size()) Fail("EncodeURLPieces added bytes", joined);
}

void CheckCodec(std::string_view bytes) {
  // Every Windows-1251 byte has a character, and it comes back as the same byte.
  const std::string utf8 = kestrion::Cp1251ToUtf8(bytes);
  if (kestrion::Utf8ToCp1251(utf8) != bytes) Fail("Windows-1251 bytes do not round-trip", bytes);
  if (kestrion::Utf8ToCp1251(bytes).size() > bytes.size())
    Fail("Utf8ToCp1251 grew the text", bytes);
  for (std::size_t n = 0; n <= 4; ++n) {
    const std::string prefix = kestrion::Utf8Prefix(utf8, n);
    if (std::string_view(utf8).substr(0, prefix.size()) != prefix)
      Fail("Utf8Prefix is not a prefix", bytes);
    if (kestrion::Utf8ToCp1251(prefix) != bytes.substr(0, std::min(n, bytes.size())))
      Fail("Utf8Prefix cut a character", bytes);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t zero = input.find('\0', start);
    parts.push_back(input.substr(start, zero - start));
    if (zero == std::string_view::npos) break;
    start = zero + 1;
  }
  parts.resize(std::max<std::size_t>(parts.size(), 3));

  CheckEncodeURL(input);
  CheckCodec(parts[0]);

  // As the settings build them: the texts typed in UTF-8, sent as Windows-1251.
  const std::string base = kestrion::Utf8ToCp1251(parts[0]);
  const std::string login = kestrion::Utf8ToCp1251(parts[1]);
  const std::string pswd = kestrion::Utf8ToCp1251(parts[2]);
  const std::string module = parts.size() > 3 ? kestrion::Utf8ToCp1251(parts[3]) : "9";
  CheckEncodeURL(base);
  CheckJoin({{base}, {"?login="}, {login, true}, {"&pswd="}, {pswd, true}, {"&mid="}, {module}});
  CheckEncodePieces({{base},
                     {"?user="},
                     {login, true},
                     {"&pswd="},
                     {pswd, true},
                     {"&midAuth="},
                     {module},
                     {"&module=contract"}});
  // The raw bytes too: a base of any bytes, and user text that is not valid Windows-1251 text.
  CheckEncodePieces({{parts[0]}, {parts[1], true}, {parts[2]}});
  return 0;
}
