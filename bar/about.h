#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "bar/form_main.h"

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

// The about box as both front ends lay it out, in pixels: a fixed client area filled by the
// maker's picture, which is two pixels wider and taller and so clipped, and five labels.
inline constexpr const char* kAboutCaption = "О программе";
inline constexpr int kAboutWidth = 281;
inline constexpr int kAboutHeight = 140;
inline constexpr int kAboutPictureWidth = 283;
inline constexpr int kAboutPictureHeight = 142;

// Every label is one line of Verdana 8 points (11 pixels at 96 dpi) bold, sized to its text,
// in this colour (0x00BBGGRR, as the bar's) on a black strip. Links are underlined, show a
// hand and open an address when clicked.
inline constexpr const char* kAboutFontFace = "Verdana";
inline constexpr int kAboutFontPoints = 8;
inline constexpr int kAboutFontPixels = 11;
inline constexpr std::uint32_t kAboutTextColour = 0xEF7563;

struct AboutLabel {
  const char* name;
  std::string text;
  int left;
  int top;
  bool link;
};

// In creation order: Label1 "e-mail:", Label2 "WWW:", LabelWebLink (the e-mail row, which
// opens the mail program), LabelMailTo (the web row, which opens the browser) and Label5,
// the bottom line, which greets a double click with Shift held.
std::array<AboutLabel, 5> AboutLabels(const MakerContacts& maker);

// Where the about box's outer frame of `width` × `height` goes: centred over the bar (over
// the work area when there is no bar), then moved as little as needed to lie in the work
// area; a box larger than the work area keeps its left or top edge on it.
BarRect AboutPlace(int width, int height, const std::optional<BarRect>& bar,
                   const BarRect& work_area);

}  // namespace kestrion
