#include "bar/form_main.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "bar/status.h"
#include "resources/image_list.h"
#include "settings/settings.h"
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

// Each change the user ends is stored once; an end with nothing changed writes nothing.
TEST_F(BarGeometryTest, ThePlaceIsStoredOncePerChange) {
  StoredBarPlace place(store_.Factory());
  place.Placed(kDesign);
  place.ChangeEnded(kDesign);
  EXPECT_EQ(store_.accessors_made, 0);
  const BarRect moved{10, 0, 241, 21};
  place.ChangeEnded(moved);
  EXPECT_EQ(RestoreBarGeometry(store_.Factory(), kDesign), moved);
  const int accessors = store_.accessors_made;
  place.ChangeEnded(moved);
  EXPECT_EQ(store_.accessors_made, accessors);
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

// The menu as described, its captions stated here once; the front ends' tests loop over the
// table.
TEST(BarMenu, TheDescribedItemsInOrderEachCommandOnce) {
  const auto& items = BarMenuItems();
  std::vector<std::string> captions, pictures, checkable, while_shown, while_hidden;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const BarMenuItem& item = items[i];
    captions.push_back(item.caption);
    pictures.push_back(item.image ? kImageNames[static_cast<int>(*item.image)] : "");
    if (item.checkable) checkable.push_back(item.caption);
    if (!BarMenuItemEnabled(item, false)) while_shown.push_back(item.caption);
    if (!BarMenuItemEnabled(item, true)) while_hidden.push_back(item.caption);
    // A front end finds an item by its command: a separator has none, every other item its own.
    EXPECT_EQ(item.command == BarCommand::kNone, captions.back().empty()) << i;
    if (item.command != BarCommand::kNone) {
      EXPECT_EQ(BarMenuPosition(item.command), i);
    }
  }
  EXPECT_EQ(captions,
            (std::vector<std::string>{"Статистика", "Параметры", "", "Свернуть", "Развернуть", "",
                                      "Наверх", "", "О программе", "", "Выход"}));
  EXPECT_EQ(pictures, (std::vector<std::string>{"stat", "settings", "", "hide", "show", "", "top",
                                                "", "about", "", "exit"}));
  EXPECT_STREQ(kImageNames[static_cast<int>(StatusImage(true))], "ok");
  EXPECT_STREQ(kImageNames[static_cast<int>(StatusImage(false))], "exit");
  EXPECT_EQ(checkable, std::vector<std::string>{"Наверх"});
  EXPECT_EQ(while_shown, std::vector<std::string>{"Свернуть"});
  EXPECT_EQ(while_hidden, std::vector<std::string>{"Развернуть"});
  EXPECT_THROW(BarMenuPosition(BarCommand::kNone), std::out_of_range);
}

// A bar front that notes what it is asked to do.
class NotingFront : public BarFront {
 public:
  NotingFront() { settings_.ReadSettings(); }
  void HideBar() override { Note("hide"); }
  void ShowBar() override { Note("show"); }
  const Settings& HeldSettings() override { return settings_; }
  void OpenAddress(const std::string& address) override { Note("open " + address); }
  void ShowDialog(BarDialog dialog) override {
    Note(dialog == BarDialog::kSettings ? "settings dialog" : "about box");
  }
  BarRect Bounds() const override { return bar_; }
  void PlaceBar(const BarRect& bar) override {
    bar_ = bar;
    Note("place at " + std::to_string(bar.left) + "," + std::to_string(bar.top) + " " +
         std::to_string(bar.width) + "x" + std::to_string(bar.height));
  }
  void CloseBar() override { Note("close"); }

  std::string notes;

 private:
  void Note(const std::string& what) { notes += (notes.empty() ? "" : "; ") + what; }

  test::MemoryRegistry store_;
  test::FakeStringTable strings_;
  Settings settings_{store_.Factory(), strings_};
  BarRect bar_{-30, 677, 300, 40};
};

TEST(BarCommands, EachCommandAsksTheFrontForItsOneEffect) {
  const std::string stat_address =
      "https://stat.example.net/%6B%6F%72%76%61%6E%74%61/%77%65%62%65%78%65%63%75%74%65%72"
      "?%75%73%65%72=&%70%73%77%64=&%6D%69%64%41%75%74%68=%39&%6D%6F%64%75%6C%65=%63%6F%6E%74%72"
      "%61%63%74";
  const struct {
    BarCommand command;
    std::string notes;
  } cases[] = {
      {BarCommand::kStat, "open " + stat_address},
      {BarCommand::kSettings, "settings dialog"},
      {BarCommand::kHide, "hide"},
      {BarCommand::kShow, "show"},
      {BarCommand::kTop, "place at -30,0 300x40"},  // stored at once, as a move by the user
      {BarCommand::kAbout, "about box"},
      {BarCommand::kExit, "close"},
      {BarCommand::kNone, ""},
  };
  for (const auto& c : cases) {
    NotingFront front;
    RunBarCommand(c.command, front);
    EXPECT_EQ(front.notes, c.notes);
  }
}

TEST(TrayReactions, LeftTogglesRightOpensTheMenuOtherwiseNothing) {
  EXPECT_EQ(TrayReaction(TrayEvent::kLeftPress, true), TrayAction::kHideBar);
  EXPECT_EQ(TrayReaction(TrayEvent::kLeftPress, false), TrayAction::kShowBar);
  EXPECT_EQ(TrayReaction(TrayEvent::kRightPress, false), TrayAction::kMenuAtPointer);
  EXPECT_EQ(TrayReaction(TrayEvent::kOther, true), TrayAction::kNothing);
}

TEST(FrameResize, TheFrameAndCornersGrabEdgesAndTheDragKeepsTheOppositeEdges) {
  // A 241 × 21 bar with a 3-pixel frame: corners reach 7 pixels (a third of 21) down a side
  // and 8 along the top and bottom.
  const struct {
    int x, y;
    unsigned edges;
    FrameCursor cursor;
  } grabs[] = {
      {120, 10, 0, FrameCursor::kArrow},
      {0, 10, kEdgeLeft, FrameCursor::kSizeHorizontal},
      {240, 10, kEdgeRight, FrameCursor::kSizeHorizontal},
      {120, 2, kEdgeTop, FrameCursor::kSizeVertical},
      {120, 18, kEdgeBottom, FrameCursor::kSizeVertical},
      {7, 0, kEdgeLeft | kEdgeTop, FrameCursor::kSizeFDiagonal},
      {8, 0, kEdgeTop, FrameCursor::kSizeVertical},
      {0, 6, kEdgeLeft | kEdgeTop, FrameCursor::kSizeFDiagonal},
      {0, 7, kEdgeLeft, FrameCursor::kSizeHorizontal},
      {240, 20, kEdgeRight | kEdgeBottom, FrameCursor::kSizeFDiagonal},
      {233, 0, kEdgeRight | kEdgeTop, FrameCursor::kSizeBDiagonal},
      {0, 20, kEdgeLeft | kEdgeBottom, FrameCursor::kSizeBDiagonal},
  };
  for (const auto& g : grabs) {
    SCOPED_TRACE(testing::Message() << g.x << "," << g.y);
    EXPECT_EQ(FrameEdgesAt(g.x, g.y, 241, 21, 3), g.edges);
    EXPECT_EQ(FrameCursorFor(g.edges), g.cursor);
  }

  const BarRect start{100, 200, 241, 21};
  const struct {
    unsigned edges;
    int dx, dy;
    BarRect bar;
  } drags[] = {
      {kEdgeRight, 30, 9, {100, 200, 271, 21}},
      {kEdgeRight, -500, 0, {100, 200, kBarMinWidth, 21}},
      {kEdgeLeft, -20, 0, {80, 200, 261, 21}},
      {kEdgeLeft, 500, 0, {341 - kBarMinWidth, 200, kBarMinWidth, 21}},
      {kEdgeTop, 0, -10, {100, 190, 241, 31}},
      {kEdgeTop, 0, -100, {100, 221 - kBarMaxHeight, 241, kBarMaxHeight}},
      {kEdgeTop, 0, 100, {100, 221 - kBarMinHeight, 241, kBarMinHeight}},
      {kEdgeBottom, 0, 100, {100, 200, 241, kBarMaxHeight}},
      {kEdgeLeft | kEdgeBottom, -5, 5, {95, 200, 246, 26}},
  };
  for (const auto& d : drags) {
    SCOPED_TRACE(testing::Message() << d.edges << ": " << d.dx << "," << d.dy);
    EXPECT_EQ(ResizeByFrame(start, d.edges, d.dx, d.dy), d.bar);
  }
}

}  // namespace
}  // namespace kestrion
