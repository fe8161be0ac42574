#include "bar/status.h"

#include <utility>

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

StatusChange ShownStatus::Show(const Status& status) {
  const bool first = !ok_.has_value();
  std::string text = BarText(status.text);
  std::string tip = StatusTip(status.text);
  const StatusChange change{first || *ok_ != status.ok, first || text != text_,
                            first || tip != tip_};
  ok_ = status.ok;
  text_ = std::move(text);
  tip_ = std::move(tip);
  return change;
}

}  // namespace kestrion
