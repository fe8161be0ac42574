#pragma once

#include <algorithm>

namespace kestrion {

// The program's title: the caption of its message boxes, the bar's window title and the
// tip's first word.
inline constexpr const char* kAppTitle = "Kestrion";

// The windows' font, bold or not: "MS Sans Serif" at 8 points, 11 pixels at 96 dpi. Linux
// draws it with its own "Sans Serif" family at the same size.
inline constexpr const char* kFormFontFace = "MS Sans Serif";
inline constexpr const char* kFormFontFamilyLinux = "Sans Serif";
inline constexpr int kFormFontPoints = 8;
inline constexpr int kFormFontPixels = 11;

// Where a window that starts at `start` and is `size` long, along one axis, goes to lie on a
// work area from `area_start`, `area_size` long: moved as little as needed; a window longer
// than the area keeps its start edge on it.
constexpr int KeepOnWorkArea(int start, int size, int area_start, int area_size) {
  return std::clamp(start, area_start, std::max(area_start, area_start + area_size - size));
}

class TFormMain;
class TFormAbout;
class TFormSettings;
class TMainThread;

// The program's one instance of each window and of the poll thread. Each form's global is
// set before its creation handler runs, so the handler can already reach the form through it;
// none changes afterwards until the windows are destroyed at exit.
extern TFormMain* FormMain;
extern TFormAbout* FormAbout;
extern TFormSettings* FormSettings;
extern TMainThread* MainThread;

}  // namespace kestrion
