#pragma once

namespace kestrion {

// The windows' layouts are given in pixels at 96 dots per inch. On a display of another DPI
// every length is that many pixels scaled by DPI / 96, so that the windows look the same size
// and the system never has to stretch a bitmap of them.
inline constexpr int kDesignDpi = 96;

// A length of `pixels` at 96 dpi, at `dpi`: rounded to the nearest pixel, halves away from
// zero (as the system's MulDiv rounds). A DPI of 0 or less, which a failed query reports, is
// taken as 96.
constexpr int ScaleForDpi(int pixels, int dpi) {
  if (dpi <= 0) dpi = kDesignDpi;
  const long long scaled = static_cast<long long>(pixels) * dpi;
  const long long half = kDesignDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kDesignDpi
                                      : -((-scaled + half) / kDesignDpi));
}

// The height in pixels of a font of `points` at `dpi`, as Windows sizes its own (a point is
// 1/72 inch, rounded to the nearest pixel): 8 points are 11 pixels at 96 dpi but 16, not 17,
// at 144, so that texts keep their proportions to the places laid out for them.
constexpr int FontPixelsForDpi(int points, int dpi) {
  if (dpi <= 0) dpi = kDesignDpi;
  return static_cast<int>((static_cast<long long>(points) * dpi + 36) / 72);
}

}  // namespace kestrion
