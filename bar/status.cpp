#include "bar/status.h"

#include "base/text_codec.h"
#include "ui/forms.h"

namespace kestrion {

std::uint32_t StatusColour(bool ok) { return ok ? kOkColour : kErrorColour; }

Image StatusImage(bool ok) { return ok ? kOkImage : kErrorImage; }

std::string BarText(const std::string& text) { return Utf8Prefix(text, kMaxBarChars); }

std::string StatusTip(const std::string& text) {
  constexpr std::size_t kMaxTipChars = 116;
  return std::string(kAppTitle) + " : " + Utf8Prefix(text, kMaxTipChars);
}

}  // namespace kestrion
