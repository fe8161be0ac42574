#include "bar/form_main.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "base/text_codec.h"
#include "settings/settings.h"

#include "settings/stored_values.h"

namespace kestrion {

BarRect ConstrainBarSize(BarRect bar, int dpi) {
  bar.width = std::max(bar.width, ScaleForDpi(kBarMinWidth, dpi));
  bar.height =
      std::clamp(bar.height, ScaleForDpi(kBarMinHeight, dpi), ScaleForDpi(kBarMaxHeight, dpi));
  return bar;
}

BarRect RestoreBarGeometry(const RegistryFactory& registry, BarRect bar, int dpi) {
  try {
    const std::unique_ptr<Registry> reg = registry();
    reg->OpenKey(kRegKey, true);
    bar.top = reg->ReadInteger(kTopValue.name);
    bar.left = reg->ReadInteger(kLeftValue.name);
    bar =
        ConstrainBarSize({bar.left, bar.top, reg->ReadInteger(kWidthValue.name), bar.height}, dpi);
    bar =
        ConstrainBarSize({bar.left, bar.top, bar.width, reg->ReadInteger(kHeightValue.name)}, dpi);
  } catch (const std::exception&) {
    // Nothing stored yet, or something else: the bar keeps what it has.
  }
  return bar;
}

void SaveBarGeometry(const RegistryFactory& registry, const BarRect& bar) {
  try {
    const std::unique_ptr<Registry> reg = registry();
    reg->OpenKey(kRegKey, true);
    reg->WriteInteger(kTopValue.name, bar.top);
    reg->WriteInteger(kLeftValue.name, bar.left);
    reg->WriteInteger(kWidthValue.name, bar.width);
    reg->WriteInteger(kHeightValue.name, bar.height);
  } catch (const std::exception&) {
    // The geometry is a convenience; losing it must not stop the program from ending.
  }
}

void StoredBarPlace::ChangeEnded(const BarRect& bar) {
  if (stored_ == bar) return;
  SaveBarGeometry(registry_, bar);
  stored_ = bar;
}

namespace {

bool OverlapsEnough(const BarRect& bar, const BarRect& screen) {
  constexpr int kMinVisible = 8;
  const int overlap_x =
      std::min(bar.left + bar.width, screen.left + screen.width) - std::max(bar.left, screen.left);
  const int overlap_y =
      std::min(bar.top + bar.height, screen.top + screen.height) - std::max(bar.top, screen.top);
  return overlap_x >= std::min(kMinVisible, bar.width) &&
         overlap_y >= std::min(kMinVisible, bar.height);
}

}  // namespace

BarRect KeepBarReachable(BarRect bar, const std::vector<BarRect>& screens,
                         const BarRect& primary_work_area) {
  for (const BarRect& screen : screens) {
    if (OverlapsEnough(bar, screen)) return bar;
  }
  const BarRect& area = primary_work_area;
  bar.left = std::max(area.left, std::min(bar.left, area.left + area.width - bar.width));
  bar.top = std::max(area.top, std::min(bar.top, area.top + area.height - bar.height));
  return bar;
}

namespace {

long long Overlap(const BarRect& a, const BarRect& b) {
  const long long x = std::min(a.left + a.width, b.left + b.width) - std::max(a.left, b.left);
  const long long y = std::min(a.top + a.height, b.top + b.height) - std::max(a.top, b.top);
  return x > 0 && y > 0 ? x * y : 0;
}

bool Contains(const BarRect& outer, const BarRect& inner) {
  return inner.left >= outer.left && inner.top >= outer.top &&
         inner.left + inner.width <= outer.left + outer.width &&
         inner.top + inner.height <= outer.top + outer.height;
}

// Cut along every screen edge that crosses it, the bar is whole on the screens when each piece
// lies on one of them.
bool WhollyOnScreens(const BarRect& bar, const std::vector<BarRect>& screens) {
  std::vector<int> xs = {bar.left, bar.left + bar.width};
  std::vector<int> ys = {bar.top, bar.top + bar.height};
  const auto cut = [](std::vector<int>& at, int edge, int from, int to) {
    if (edge > from && edge < to) at.push_back(edge);
  };
  for (const BarRect& s : screens) {
    cut(xs, s.left, bar.left, bar.left + bar.width);
    cut(xs, s.left + s.width, bar.left, bar.left + bar.width);
    cut(ys, s.top, bar.top, bar.top + bar.height);
    cut(ys, s.top + s.height, bar.top, bar.top + bar.height);
  }
  std::sort(xs.begin(), xs.end());
  std::sort(ys.begin(), ys.end());
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    for (std::size_t j = 0; j + 1 < ys.size(); ++j) {
      if (xs[i] == xs[i + 1] || ys[j] == ys[j + 1]) continue;
      const BarRect piece{xs[i], ys[j], xs[i + 1] - xs[i], ys[j + 1] - ys[j]};
      if (std::none_of(screens.begin(), screens.end(),
                       [&piece](const BarRect& s) { return Contains(s, piece); })) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

BarRect KeepBarWhole(BarRect bar, const std::vector<BarRect>& screens, const BarRect& primary) {
  if (WhollyOnScreens(bar, screens)) return bar;
  const BarRect* target = &primary;
  long long most = 0;
  for (const BarRect& screen : screens) {
    if (const long long overlap = Overlap(bar, screen); overlap > most) {
      most = overlap;
      target = &screen;
    }
  }
  const BarRect& s = *target;
  bar.left = std::max(s.left, std::min(bar.left, s.left + s.width - bar.width));
  bar.top = std::max(s.top, std::min(bar.top, s.top + s.height - bar.height));
  return bar;
}

FrameExtents FrameFromExtents(const std::array<std::uint32_t, 4>& left_right_top_bottom) {
  return {static_cast<int>(left_right_top_bottom[0]), static_cast<int>(left_right_top_bottom[2])};
}

int LogicalPixels(int device, double ratio) {
  return static_cast<int>(std::lround(device / ratio));
}

int DevicePixels(int logical, double ratio) {
  return static_cast<int>(std::lround(logical * ratio));
}

PlaceRequest::Next PlaceRequest::Check(bool shown, const BarRect& seen, const BarRect& target) {
  if (!shown) return Next::kWait;
  if (seen == target || ++checks_ >= kMaxChecks) return Next::kSettled;
  return Next::kAskAgain;
}

BarRect OuterPlace(const BarRect& window, const FrameExtents& frame) {
  return {window.left - frame.left, window.top - frame.top, window.width, window.height};
}

BarRect WindowBoundsFor(const BarRect& place, const FrameExtents& frame) {
  return {place.left + frame.left, place.top + frame.top, place.width, place.height};
}

void BarDrag::Press(Button button, int x, int y) {
  if (button != Button::kLeft) return;
  drag_x_ = x;
  drag_y_ = y;
  dragging_ = true;
}

std::optional<BarRect> BarDrag::Move(int x, int y, const BarRect& bar) const {
  if (!dragging_) return std::nullopt;
  BarRect moved = bar;
  moved.left += x - drag_x_;
  moved.top += y - drag_y_;
  return moved;
}

unsigned FrameEdgesAt(int x, int y, int width, int height, int frame) {
  constexpr int kCornerReach = 8;
  const int reach_x = std::min(kCornerReach, width / 3);
  const int reach_y = std::min(kCornerReach, height / 3);
  const bool near_left = x < frame, near_right = x >= width - frame;
  const bool near_top = y < frame, near_bottom = y >= height - frame;
  unsigned edges = 0;
  if (near_left || ((near_top || near_bottom) && x < reach_x)) edges |= kEdgeLeft;
  if (near_right || ((near_top || near_bottom) && x >= width - reach_x)) edges |= kEdgeRight;
  if (near_top || ((near_left || near_right) && y < reach_y)) edges |= kEdgeTop;
  if (near_bottom || ((near_left || near_right) && y >= height - reach_y)) edges |= kEdgeBottom;
  return edges;
}

FrameCursor FrameCursorFor(unsigned edges) {
  if (edges == (kEdgeLeft | kEdgeTop) || edges == (kEdgeRight | kEdgeBottom)) {
    return FrameCursor::kSizeFDiagonal;
  }
  if (edges == (kEdgeRight | kEdgeTop) || edges == (kEdgeLeft | kEdgeBottom)) {
    return FrameCursor::kSizeBDiagonal;
  }
  if ((edges & (kEdgeLeft | kEdgeRight)) != 0) return FrameCursor::kSizeHorizontal;
  if ((edges & (kEdgeTop | kEdgeBottom)) != 0) return FrameCursor::kSizeVertical;
  return FrameCursor::kArrow;
}

BarRect ResizeByFrame(const BarRect& start, unsigned edges, int dx, int dy) {
  const int right = start.left + start.width;
  const int bottom = start.top + start.height;
  BarRect bar = start;
  if ((edges & kEdgeLeft) != 0) {
    bar.left = std::min(start.left + dx, right - kBarMinWidth);
    bar.width = right - bar.left;
  }
  if ((edges & kEdgeRight) != 0) bar.width = start.width + dx;
  if ((edges & kEdgeTop) != 0) {
    bar.top = std::clamp(start.top + dy, bottom - kBarMaxHeight, bottom - kBarMinHeight);
    bar.height = bottom - bar.top;
  }
  if ((edges & kEdgeBottom) != 0) bar.height = start.height + dy;
  return ConstrainBarSize(bar);
}

BarRect MoveBarToTop(BarRect bar) {
  bar.top = 0;
  return bar;
}

MenuPlace BarMenuPlace(const BarRect& bar, const BarRect& work_area,
                       const std::optional<BarPoint>& pointer) {
  if (pointer) return {*pointer};
  if (2 * bar.top + bar.height > 2 * work_area.top + work_area.height) {
    return {{bar.left, bar.top}, true};
  }
  return {{bar.left, bar.top + bar.height}};
}

TrayAction TrayReaction(TrayEvent event, bool bar_visible) {
  switch (event) {
    case TrayEvent::kLeftPress:
      return bar_visible ? TrayAction::kHideBar : TrayAction::kShowBar;
    case TrayEvent::kRightPress:
      return TrayAction::kMenuAtPointer;
    case TrayEvent::kOther:
      break;
  }
  return TrayAction::kNothing;
}

const std::vector<BarMenuItem>& BarMenuItems() {
  using enum BarCommand;
  constexpr auto kWhileShown = BarItemEnabled::kWhileShown;
  constexpr auto kWhileHidden = BarItemEnabled::kWhileHidden;
  static const std::vector<BarMenuItem> items = {
      {"NStat", "Статистика", Image::kStat, kStat},
      {"NSettings", "Параметры", Image::kSettings, kSettings},
      {"N5", "", std::nullopt, kNone},
      {"NHide", "Свернуть", Image::kHide, kHide, false, kWhileShown},
      {"NShow", "Развернуть", Image::kShow, kShow, false, kWhileHidden},
      {"N11", "", std::nullopt, kNone},
      {"NTop", "Наверх", Image::kTop, kTop, true},
      {"N2", "", std::nullopt, kNone},
      {"NAbout", "О программе", Image::kAbout, kAbout},
      {"N7", "", std::nullopt, kNone},
      {"NExit", "Выход", Image::kExit, kExit},
  };
  return items;
}

std::size_t BarMenuPosition(BarCommand command) {
  const auto& items = BarMenuItems();
  if (command != BarCommand::kNone) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].command == command) return i;
    }
  }
  throw std::out_of_range("no menu item runs this command");
}

bool BarMenuItemEnabled(const BarMenuItem& item, bool bar_visible) {
  switch (item.enabled) {
    case BarItemEnabled::kWhileShown:
      return bar_visible;
    case BarItemEnabled::kWhileHidden:
      return !bar_visible;
    case BarItemEnabled::kAlways:
      break;
  }
  return true;
}

void RunBarCommand(BarCommand command, BarFront& front) {
  switch (command) {
    case BarCommand::kStat:
      // The address holds Windows-1251 bytes for the server, all of them percent-encoded.
      front.OpenAddress(Cp1251ToUtf8(front.HeldSettings().GetStatURL()));
      break;
    case BarCommand::kSettings:
      front.ShowDialog(BarDialog::kSettings);
      break;
    case BarCommand::kHide:
      front.HideBar();
      break;
    case BarCommand::kShow:
      front.ShowBar();
      break;
    case BarCommand::kTop:
      front.PlaceBar(MoveBarToTop(front.Bounds()));
      break;
    case BarCommand::kAbout:
      front.ShowDialog(BarDialog::kAbout);
      break;
    case BarCommand::kExit:
      front.CloseBar();
      break;
    case BarCommand::kNone:
      break;
  }
}

}  // namespace kestrion
