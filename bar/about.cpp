#include "bar/about.h"

#include <algorithm>

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
  const int last_left = std::max(work_area.left, work_area.left + work_area.width - width);
  const int last_top = std::max(work_area.top, work_area.top + work_area.height - height);
  return {std::clamp(left, work_area.left, last_left), std::clamp(top, work_area.top, last_top),
          width, height};
}

}  // namespace kestrion
