#include "bar/form_main.h"

#include <gtest/gtest.h>

#include "base/exception_display.h"
#include "tests/settings/fakes.h"

namespace kestrion {
namespace {

const BarRect kDesign{195, 677, 241, 21};

class BarGeometryTest : public ::testing::Test {
 protected:
  void StoreInt(const std::string& name, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    store_.SetRaw(name, kRegDword, data);
  }
  test::MemoryRegistry store_;
};

TEST_F(BarGeometryTest, FirstRunCreatesTheKeyAndKeepsTheDesignBounds) {
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), kDesign);
  EXPECT_TRUE(store_.keys.count(kRegKey));
}

TEST_F(BarGeometryTest, RestoreStopsAtTheFirstValueItCannotRead) {
  StoreInt("Top", 5);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), (BarRect{195, 5, 241, 21}));
  store_.SetText("Left", "100");
  StoreInt("Width", 500);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), (BarRect{195, 5, 241, 21}));
  StoreInt("Left", -1500);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), (BarRect{-1500, 5, 500, 21}));
}

TEST_F(BarGeometryTest, RestoredSizesAreHeldToTheLimits) {
  StoreInt("Top", 0);
  StoreInt("Left", 0);
  StoreInt("Width", 10);
  StoreInt("Height", 100);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), (BarRect{0, 0, 32, 48}));
  StoreInt("Width", 5000);
  StoreInt("Height", -3);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), (BarRect{0, 0, 5000, 15}));
}

TEST_F(BarGeometryTest, SaveWritesAllFourAndRoundTrips) {
  const BarRect bar{-20, 30000, 640, 48};
  SaveBarGeometry(store_.Factory(), bar);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), bar);
}

TEST_F(BarGeometryTest, AFailingSaveIsSilent) {
  store_.fail_writes = true;
  EXPECT_NO_THROW(SaveBarGeometry(store_.Factory(), kDesign));
  EXPECT_TRUE(store_.keys[kRegKey].empty());
}

TEST(BarReachable, APositionOnAnyScreenIsKeptAndALostOneComesToThePrimary) {
  const std::vector<BarRect> screens = {{0, 0, 1920, 1080}, {1920, -200, 1280, 1024}};
  const BarRect primary_work{0, 0, 1920, 1040};
  const BarRect on_second{2500, -150, 241, 21};
  EXPECT_EQ(KeepBarReachable(on_second, screens, primary_work), on_second);
  const BarRect mostly_off{1912, 1072, 241, 21};  // 8 pixels each way still show
  EXPECT_EQ(KeepBarReachable(mostly_off, screens, primary_work), mostly_off);
  // The second monitor was unplugged.
  EXPECT_EQ(KeepBarReachable(on_second, {screens[0]}, primary_work),
            (BarRect{1920 - 241, 0, 241, 21}));
  EXPECT_EQ(KeepBarReachable({-5000, 677, 241, 21}, screens, primary_work),
            (BarRect{0, 677, 241, 21}));
}

TEST(BarDragTest, OnlyTheLeftButtonDragsAndTheGrabbedPointFollowsThePointer) {
  BarDrag drag;
  const BarRect bar{100, 200, 241, 21};
  drag.Press(BarDrag::Button::kRight, 10, 5);
  drag.Press(BarDrag::Button::kMiddle, 10, 5);
  EXPECT_EQ(drag.Move(50, 50, bar), std::nullopt);
  drag.Press(BarDrag::Button::kLeft, 10, 5);
  EXPECT_EQ(drag.Move(15, 2, bar), (BarRect{105, 197, 241, 21}));
  drag.Release();
  EXPECT_EQ(drag.Move(15, 2, bar), std::nullopt);
  drag.Press(BarDrag::Button::kLeft, 0, 0);
  drag.DoubleClick();
  EXPECT_FALSE(drag.dragging());
}

TEST(BarCommands, TopKeepsLeftAndSize) {
  EXPECT_EQ(MoveBarToTop({-30, 677, 300, 40}), (BarRect{-30, 0, 300, 40}));
}

TEST(BarCommands, ExactlyOneOfHideAndShowIsEnabled) {
  EXPECT_TRUE(VisibilityItemsFor(true).hide_enabled);
  EXPECT_FALSE(VisibilityItemsFor(true).show_enabled);
  EXPECT_FALSE(VisibilityItemsFor(false).hide_enabled);
  EXPECT_TRUE(VisibilityItemsFor(false).show_enabled);
}

TEST(TrayReactions, LeftTogglesRightOpensTheMenuOtherwiseNothing) {
  EXPECT_EQ(TrayReaction(TrayEvent::kLeftPress, true), TrayAction::kHideBar);
  EXPECT_EQ(TrayReaction(TrayEvent::kLeftPress, false), TrayAction::kShowBar);
  EXPECT_EQ(TrayReaction(TrayEvent::kRightPress, false), TrayAction::kMenuAtPointer);
  EXPECT_EQ(TrayReaction(TrayEvent::kOther, true), TrayAction::kNothing);
}

TEST(ExceptionDisplay, AFullStopIsAddedAfterLettersAndDigitsOnly) {
  EXPECT_EQ(ExceptionDisplayText(""), "");
  EXPECT_EQ(ExceptionDisplayText("Access denied"), "Access denied.");
  EXPECT_EQ(ExceptionDisplayText("error 42"), "error 42.");
  EXPECT_EQ(ExceptionDisplayText("ошибка сохранения параметров"),
            "ошибка сохранения параметров.");
  EXPECT_EQ(ExceptionDisplayText("path/"), "path/.");
  for (const char* unchanged : {"Done.", "Stop!", "(see log)", "two\nlines\n", "a,"}) {
    EXPECT_EQ(ExceptionDisplayText(unchanged), unchanged);
  }
}

TEST(ExceptionDisplay, WhateverEscapesAHandlerIsShownAndGoesNoFurther) {
  std::vector<std::string> shown;
  const auto show = [&](const std::string& message) { shown.push_back(message); };
  RunGuarded([] { throw std::runtime_error("disk full"); }, show);
  RunGuarded([] { throw 42; }, show);
  RunGuarded([] {}, show);
  EXPECT_EQ(shown, (std::vector<std::string>{"disk full", ""}));
}

}  // namespace
}  // namespace kestrion
