#include "settings/encode_url.h"

namespace kestrion {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendEncoded(std::string& out, char c) {
  const auto b = static_cast<unsigned char>(c);
  out.push_back('%');
  out.push_back(kHexDigits[b >> 4]);
  out.push_back(kHexDigits[b & 0x0F]);
}

bool IsUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool IsSeparator(char c) { return c == '#' || c == '&' || c == '/' || c == '=' || c == '?'; }

// Tracks where the host ends: 0 at the start, 1 and 2 after the first and second '/', 3 from
// the character after the host onwards, for good.
class SlashCounter {
 public:
  void Feed(char c) {
    if (state_ == 0 && c == '/') {
      state_ = 1;
    } else if (state_ == 1 && c == '/') {
      state_ = 2;
    } else if (state_ == 2 && (c == '/' || c == '?')) {
      state_ = 3;
    }
  }
  bool encoding() const { return state_ == 3; }

 private:
  int state_ = 0;
};

}  // namespace

std::string EncodeURL(std::string_view address) {
  return EncodeURLPieces({UrlPiece{address, false}});
}

std::string EncodeURLPieces(const std::vector<UrlPiece>& pieces) {
  std::string out;
  SlashCounter counter;
  for (const UrlPiece& piece : pieces) {
    out.reserve(out.size() + 3 * piece.bytes.size());
    for (const char c : piece.bytes) {
      counter.Feed(c);
      const bool copy = counter.encoding() ? (IsSeparator(c) && !piece.user_text)
                                           : (!piece.user_text || IsUnreserved(c));
      if (copy) {
        out.push_back(c);
      } else {
        AppendEncoded(out, c);
      }
    }
  }
  return out;
}

std::string JoinURLPieces(const std::vector<UrlPiece>& pieces) {
  std::string out;
  for (const UrlPiece& piece : pieces) {
    for (const char c : piece.bytes) {
      if (!piece.user_text || IsUnreserved(c)) {
        out.push_back(c);
      } else {
        AppendEncoded(out, c);
      }
    }
  }
  return out;
}

}  // namespace kestrion
