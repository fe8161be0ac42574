#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "resources/image_list.h"
#include "settings/registry.h"
#include "ui/dpi.h"

namespace kestrion {

// The rules of the bar window that are not window-system calls: its geometry, the drag, the
// menu with what its commands do, and the notification-area icon's reactions.

struct BarRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const BarRect&) const = default;
};

// The bar's size limits, on its outer size, at 96 dpi; there is no maximum width.
inline constexpr int kBarMinWidth = 32;
inline constexpr int kBarMinHeight = 15;
inline constexpr int kBarMaxHeight = 48;

// Where the bar stands when nothing is stored: left, top and its client area (the client
// area at 96 dpi; the place is where it is at any DPI).
inline constexpr int kBarDesignLeft = 195;
inline constexpr int kBarDesignTop = 677;
inline constexpr int kBarDesignClientWidth = 235;
inline constexpr int kBarDesignClientHeight = 15;

inline constexpr int kTimerIntervalMs = KESTRION_POLL_INTERVAL_MS;  // 20 s; set by the build

// Holds the bar to its size limits, scaled to the DPI of the monitor it stands on.
BarRect ConstrainBarSize(BarRect bar, int dpi = kDesignDpi);

// Reads "Top", "Left", "Width" and "Height" in that order from the program's key (created
// when missing), each applied to `bar` as soon as it is read and held to the size limits at
// `dpi`. The first value that is missing, of another type or unreadable ends the restore
// silently; what was applied before it stays. The values are taken as the pixels the bar
// stands on now, whatever the DPI they were stored at.
BarRect RestoreBarGeometry(const RegistryFactory& registry, BarRect bar, int dpi = kDesignDpi);

// Writes "Top", "Left", "Width" and "Height" in that order; a failure ends it silently.
void SaveBarGeometry(const RegistryFactory& registry, const BarRect& bar);

// The bar's place kept stored as the user changes it, so that a display server that goes
// away, a power cut or a kill loses nothing: when a move or resize by the user ends, and when
// "Наверх" places the bar, the place is written as at exit, once per change (an unchanged
// place is not written again); nothing is written during a drag.
class StoredBarPlace {
 public:
  explicit StoredBarPlace(RegistryFactory registry) : registry_(std::move(registry)) {}
  // Where the bar was placed at start, as good as stored.
  void Placed(const BarRect& bar) { stored_ = bar; }
  void ChangeEnded(const BarRect& bar);

 private:
  RegistryFactory registry_;
  std::optional<BarRect> stored_;
};

// At start: a stored place that no screen connected now would show (the bar must overlap one
// by at least 8 pixels each way, or by its whole size where that is smaller) is brought onto
// the primary screen's work area at the nearest place; anything visible is left where it is.
BarRect KeepBarReachable(BarRect bar, const std::vector<BarRect>& screens,
                         const BarRect& primary_work_area);

// After the screens have changed under a running bar: a bar that the screens no longer show
// whole (standing across two of them is fine) is moved the least distance to stand wholly on
// the screen it overlaps most, or on the primary one where it overlaps none. A bar wider or
// taller than that screen keeps its left or top edge on it, where the text starts.
BarRect KeepBarWhole(BarRect bar, const std::vector<BarRect>& screens, const BarRect& primary);

// The bar's place has one reference, stored and restored alike: the outer top-left corner the
// user sees on the screen (a frame that a window manager draws around the bar included) and
// the size of the bar's own window. `FrameExtents` is how far the bar's own window sits inside
// what the manager put around it; none where the manager draws nothing.
struct FrameExtents {
  int left = 0;
  int top = 0;
  bool operator==(const FrameExtents&) const = default;
};

// The frame as a manager announces it in _NET_FRAME_EXTENTS: left, right, top, bottom.
FrameExtents FrameFromExtents(const std::array<std::uint32_t, 4>& left_right_top_bottom);

// The X server counts device pixels, Qt logical ones: `ratio` device pixels to a logical one
// (QT_SCALE_FACTOR, a screen of high density).
int LogicalPixels(int device, double ratio);
int DevicePixels(int logical, double ratio);

// The place the user sees, from the bar's own window on the screen and its frame.
BarRect OuterPlace(const BarRect& window, const FrameExtents& frame);

// Where to ask for the bar's own window so that the user sees it at `place`, with the frame
// it has now. A manager that changes the frame as it places the bar is asked again.
BarRect WindowBoundsFor(const BarRect& place, const FrameExtents& frame);

// A place asked of the window manager, looked for on the screen every check until it is seen
// there; a manager that keeps a place of its own has the last word after kMaxChecks checks
// of a shown bar, and the bar is settled wherever it is.
class PlaceRequest {
 public:
  static constexpr int kMaxChecks = 20;
  enum class Next { kWait, kAskAgain, kSettled };

  void Start() { checks_ = 0; }
  // `shown`: the bar is on the screen (a manager at work has not mapped it yet); `seen`: the
  // place it shows at.
  Next Check(bool shown, const BarRect& seen, const BarRect& target);

 private:
  int checks_ = 0;
};

// Moving the bar by the label with the left button. Coordinates are the label's own.
class BarDrag {
 public:
  enum class Button { kLeft, kRight, kMiddle, kOther };

  void Press(Button button, int x, int y);
  // The bar's new position while a drag is on, so the grabbed point stays under the pointer.
  std::optional<BarRect> Move(int x, int y, const BarRect& bar) const;
  // True when a drag was on: the bar may have moved.
  bool Release() { return std::exchange(dragging_, false); }
  void DoubleClick() { dragging_ = false; }
  bool dragging() const { return dragging_; }

 private:
  int drag_x_ = 0;
  int drag_y_ = 0;
  bool dragging_ = false;
};

// Resizing the bar by a frame it draws itself, where the window system gives a captionless
// window none. Points are in the bar's own coordinates; edges are bit flags.
enum FrameEdge : unsigned { kEdgeLeft = 1, kEdgeTop = 2, kEdgeRight = 4, kEdgeBottom = 8 };

// The edges a press at (x, y) grabs on a bar of `width` × `height` with a frame `frame` pixels
// wide; near a corner, up to 8 pixels (a third of a short side) along either edge, both.
unsigned FrameEdgesAt(int x, int y, int width, int height, int frame);

// The pointer's shape over the frame, which says what a drag there would do.
enum class FrameCursor { kArrow, kSizeHorizontal, kSizeVertical, kSizeFDiagonal, kSizeBDiagonal };
FrameCursor FrameCursorFor(unsigned edges);

// The bar's bounds after the grabbed edges have been dragged by (dx, dy) from where the
// bar stood at the press. Edges not grabbed stay; a dragged left or top edge stops where the
// bar would grow below its size limits, so it never pushes the opposite edge; the result is
// held to the limits.
BarRect ResizeByFrame(const BarRect& start, unsigned edges, int dx, int dy);

// "Наверх": the bar goes to the screen's top edge; its left and size stay.
BarRect MoveBarToTop(BarRect bar);

// A point on the screen.
struct BarPoint {
  int x = 0;
  int y = 0;
  bool operator==(const BarPoint&) const = default;
};

// Where the bar's popup menu opens: `at` is its top-left corner, or its bottom-left one when it
// opens `upward`.
struct MenuPlace {
  BarPoint at;
  bool upward = false;
  bool operator==(const MenuPlace&) const = default;
};

// At `pointer` when the mouse asked for the menu. Asked for from the keyboard (the menu key or
// Shift+F10 on the focused bar: no pointer, which may be anywhere), at the bar, beside the text
// just read, without covering it: under the bar's lower-left corner, or above its upper-left
// one when the bar stands in the lower half of its screen's `work_area`.
MenuPlace BarMenuPlace(const BarRect& bar, const BarRect& work_area,
                       const std::optional<BarPoint>& pointer);

// What a mouse event on the notification-area icon does.
enum class TrayEvent { kLeftPress, kRightPress, kOther };
enum class TrayAction { kNothing, kHideBar, kShowBar, kMenuAtPointer };
TrayAction TrayReaction(TrayEvent event, bool bar_visible);

// What a menu item does.
enum class BarCommand { kNone, kStat, kSettings, kHide, kShow, kTop, kAbout, kExit };

// When an item can be chosen: always, or only while the bar is shown, or only while hidden.
enum class BarItemEnabled { kAlways, kWhileShown, kWhileHidden };

// The popup menu, in order; the front ends build their menus from it and find an item by its
// command. A separator has an empty caption and no command.
struct BarMenuItem {
  const char* name;  // the item's component name, for the front ends' objects
  const char* caption;
  std::optional<Image> image;  // of the image list; a separator has none
  BarCommand command;
  bool checkable = false;  // each choice flips its check mark; nothing reads it
  BarItemEnabled enabled = BarItemEnabled::kAlways;
};
const std::vector<BarMenuItem>& BarMenuItems();

// The position in BarMenuItems() of the one item that runs `command`; std::out_of_range for
// kNone, which no single item has.
std::size_t BarMenuPosition(BarCommand command);

bool BarMenuItemEnabled(const BarMenuItem& item, bool bar_visible);

class Settings;

// The dialogs the menu opens.
enum class BarDialog { kSettings, kAbout };

// What the menu's commands need of the bar on its platform.
class BarFront {
 public:
  virtual ~BarFront() = default;
  virtual void HideBar() = 0;
  // Shows the bar and brings it to the front.
  virtual void ShowBar() = 0;
  // The settings the settings dialog holds.
  virtual const Settings& HeldSettings() = 0;
  // With the user's default program for it (UTF-8, encoded as it should travel); a failure
  // is not reported.
  virtual void OpenAddress(const std::string& address) = 0;
  // Modal to the bar; brought forward when it is shown already. Its result is not used.
  virtual void ShowDialog(BarDialog dialog) = 0;
  virtual BarRect Bounds() const = 0;
  // Moves and sizes the bar (held to its size limits) and stores where it now stands, as when
  // the user ends a move.
  virtual void PlaceBar(const BarRect& bar) = 0;
  // Closes the bar, which ends the program.
  virtual void CloseBar() = 0;
};

// What choosing the item of `command` does, the same on every platform. The check mark of a
// checkable item is the front end's, flipped as its menu's own marks are.
void RunBarCommand(BarCommand command, BarFront& front);

}  // namespace kestrion
