#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "poll/reply_status.h"
#include "resources/image_list.h"

namespace kestrion {

// How a status looks: the colours are 0x00BBGGRR values, the images of the bar's image list.
inline constexpr std::uint32_t kOkColour = 65280;      // green
inline constexpr std::uint32_t kErrorColour = 255;     // red
inline constexpr std::uint32_t kLowColour = 0x00BFFF;  // amber, for a low balance in a status bar
inline constexpr Image kOkImage = Image::kOk;          // the globe
inline constexpr Image kErrorImage = Image::kExit;     // the red disc with a white bar

std::uint32_t StatusColour(bool ok);
Image StatusImage(bool ok);

// The bar shows at most this many characters of a status: more than the widest screen holds
// in the bar's font, and a long error text costs the user-interface thread nothing.
inline constexpr std::size_t kMaxBarChars = 512;
std::string BarText(const std::string& text);

// The notification-area tip: "Kestrion : " and at most 116 characters of the text, so that it
// fits the shell's 128-character field with its terminator.
std::string StatusTip(const std::string& text);

// What a status changes of what the bar and its icon show. The same status as the one shown
// changes nothing: a poll that brings no news costs the window system, the shell and a screen
// reader nothing, and the bar shows the pictures it already has.
struct StatusChange {
  bool look = false;  // ok or error: the text's colour and the pictures
  bool text = false;  // the bar's text
  bool tip = false;   // the icon's tip
  bool operator==(const StatusChange&) const = default;
};

class ShownStatus {
 public:
  // Takes `status` as the one shown from now on and says what of it differs from the one
  // shown before; before the first status everything does.
  StatusChange Show(const Status& status);
  // What the bar and the tip show of the status shown last.
  const std::string& text() const { return text_; }
  const std::string& tip() const { return tip_; }

 private:
  std::optional<bool> ok_;
  std::string text_;  // BarText of the status
  std::string tip_;   // StatusTip of the status
};

}  // namespace kestrion
