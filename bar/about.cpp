#include "bar/about.h"

#include "ui/forms.h"

namespace kestrion {

std::array<AboutLabel, 5> AboutLabels(const MakerContacts& maker) {
  return {{{"Label1", "e-mail:", 9, 88, false},
           {"Label2", "WWW:", 9, 106, false},
           {"LabelWebLink", maker.email, 65, 88, true},
           {"LabelMailTo", maker.web, 65, 106, true},
           {"Label5", maker.notice, 130, 124, false}}};
}

BarRect AboutPlace(int width, int height, const std::optional<BarRect>& bar,
                   const BarRect& work_area) {
  const BarRect& over = bar ? *bar : work_area;
  const int left = (2 * over.left + over.width - width) / 2;
  const int top = (2 * over.top + over.height - height) / 2;
  return {KeepOnWorkArea(left, width, work_area.left, work_area.width),
          KeepOnWorkArea(top, height, work_area.top, work_area.height), width, height};
}

}  // namespace kestrion
