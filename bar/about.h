#pragma once

#include <string>

namespace kestrion {

// The maker's contacts in the about box; the build sets them (KESTRION_MAKER_* options).
struct MakerContacts {
  std::string email;   // shown on the e-mail row and written after "mailto:"
  std::string web;     // shown on the web row and opened as it is
  std::string notice;  // the bottom line
};
const MakerContacts& Maker();

inline std::string MailtoAddress(const MakerContacts& maker) { return "mailto:" + maker.email; }

inline constexpr const char* kGreetingText = "Превед! ;)";

}  // namespace kestrion
