#include "bar/about.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

TEST(AboutPlace, CentresOverTheBarAndKeepsTheBoxOnTheWorkArea) {
  const BarRect work{0, 0, 1024, 740};
  const struct {
    const char* what;
    std::optional<BarRect> bar;
    BarRect work;
    int left, top;
  } cases[] = {
      {"centred over the bar", BarRect{300, 300, 241, 21}, work, 277, 230},
      {"no bar: centred on the work area", std::nullopt, work, 368, 290},
      {"bar at the top edge", BarRect{300, 0, 241, 21}, work, 277, 0},
      {"bar in the bottom left corner", BarRect{0, 721, 241, 19}, work, 0, 580},
      {"bar at the right edge", BarRect{950, 300, 74, 21}, work, 737, 230},
      {"second screen left of the first", BarRect{-900, 100, 241, 21},
       BarRect{-1280, 0, 1280, 1000}, -923, 30},
      {"work area smaller than the box", BarRect{10, 10, 50, 20}, BarRect{0, 0, 200, 100}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(AboutPlace(287, 160, c.bar, c.work), (BarRect{c.left, c.top, 287, 160}));
  }
}

}  // namespace
}  // namespace kestrion
