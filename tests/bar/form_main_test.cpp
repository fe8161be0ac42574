#include "bar/form_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bar/about.h"
#include "bar/status.h"
#include "resources/image_list.h"
#include "settings/settings.h"
#include "settings_dialog/form_settings.h"
#include "tests/settings/fakes.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

const BarRect kDesign{195, 677, 241, 21};

class BarGeometryTest : public ::testing::Test {
 protected:
  test::MemoryRegistry store_;
};

// Each value is applied as it is read, in the order Top, Left, Width, Height, and held to the
// size limits; the first that is missing or not an integer ends the restore silently.
TEST_F(BarGeometryTest, RestoreAppliesTheValuesInOrderUntilOneCannotBeRead) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::optional<std::int32_t>>> stored;  // nullopt: a text
    BarRect bar;
  } cases[] = {
      {"first run", {}, kDesign},
      {"only Top", {{"Top", 5}}, {195, 5, 241, 21}},
      {"Left as text", {{"Top", 5}, {"Left", std::nullopt}, {"Width", 500}}, {195, 5, 241, 21}},
      {"no Height", {{"Top", 5}, {"Left", -1500}, {"Width", 500}}, {-1500, 5, 500, 21}},
      {"below the limits", {{"Top", 0}, {"Left", 0}, {"Width", 10}, {"Height", 3}}, {0, 0, 32, 15}},
      {"above them", {{"Top", 0}, {"Left", 0}, {"Width", 5000}, {"Height", 100}}, {0, 0, 5000, 48}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::MemoryRegistry store;
    for (const auto& [name, value] : c.stored) {
      if (value) {
        store.SetInteger(name, *value);
      } else {
        store.SetText(name, "100");
      }
    }
    EXPECT_EQ(RestoreBarGeometry(store.Factory(), kDesign), c.bar);
    EXPECT_TRUE(store.keys.count(kRegKey)) << "the key is created";
  }
  // At 144 dpi, stored by a run that knew no DPI (in 96-dpi pixels): taken as pixels all the
  // same, the size held to the limits at 144 dpi.
  test::MemoryRegistry unaware;
  for (const auto& [name, value] :
       {std::pair{"Top", 677}, {"Left", 195}, {"Width", 237}, {"Height", 17}}) {
    unaware.SetInteger(name, value);
  }
  EXPECT_EQ(RestoreBarGeometry(unaware.Factory(), kDesign, 144), (BarRect{195, 677, 237, 23}));
}

TEST_F(BarGeometryTest, SaveWritesAllFourInOrderAndRoundTrips) {
  const BarRect bar{-20, 30000, 640, 48};
  SaveBarGeometry(store_.Factory(), bar);
  EXPECT_EQ(store_.written, (std::vector<std::string>{"Top", "Left", "Width", "Height"}));
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
  // Wider than the work area: its left edge, where the text starts, is the one kept on it.
  EXPECT_EQ(KeepBarReachable({5000, 677, 2500, 21}, screens, primary_work),
            (BarRect{0, 677, 2500, 21}));
}

TEST(BarWhole, AfterTheScreensChangeTheBarStandsWhollyOnThem) {
  const BarRect left{0, 0, 1920, 1080}, right{1920, 0, 1280, 1024};
  const std::vector<BarRect> two = {left, right};
  const struct {
    BarRect bar;
    std::vector<BarRect> screens;
    BarRect expected;
  } rows[] = {
      {{500, 200, 400, 22}, two, {500, 200, 400, 22}},      // on one screen
      {{1800, 200, 400, 22}, two, {1800, 200, 400, 22}},    // across two: whole all the same
      {{1800, 1060, 400, 22}, two, {1520, 1058, 400, 22}},  // its foot below both
      // The right monitor removed under a bar that a manager then left 24 pixels of on the
      // left one: the sliver is not enough, the whole bar comes back.
      {{1896, 200, 400, 22}, {left}, {1520, 200, 400, 22}},
      {{1990, -10, 400, 22}, two, {1990, 0, 400, 22}},  // partly above the screens
      // Mostly on the right one, its foot below it: onto the right one.
      {{1900, 1010, 400, 22}, two, {1920, 1002, 400, 22}},
      // On no screen: the primary one, at the nearest place, wherever it is listed.
      {{5000, 3000, 400, 22}, {right, left}, {1520, 1058, 400, 22}},
      {{5000, 3000, 400, 22}, two, {1520, 1058, 400, 22}},
      // Wider than its screen: the left edge, where the text starts, stays on it.
      {{1900, 100, 1500, 22}, {right}, {1920, 100, 1500, 22}},
      // A screen with a hole beside it (an L of monitors): the hole counts as off-screen.
      {{1800, 1030, 400, 22},
       {left, {1920, 0, 1280, 1024}, {1920, 1080, 1280, 800}},
       {1520, 1030, 400, 22}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(KeepBarWhole(row.bar, row.screens, left), row.expected)
        << row.bar.left << "," << row.bar.top;
  }
}

// A manager's frame (twm's: a border and a title above the bar) is part of the place the user
// sees and stores; the size stays the bar's own, so no restart moves or grows it.
TEST(BarPlace, TheOuterCornerIsStoredAndTheWindowAskedForInsideTheFrame) {
  const FrameExtents frame{2, 23};
  const BarRect window{302, 223, 400, 22};
  EXPECT_EQ(OuterPlace(window, frame), (BarRect{300, 200, 400, 22}));
  EXPECT_EQ(WindowBoundsFor(OuterPlace(window, frame), frame), window);
  EXPECT_EQ(WindowBoundsFor({300, 200, 400, 22}, {}), (BarRect{300, 200, 400, 22}));
  // As the manager announces it: left, right, top, bottom. A title (the top) or unequal
  // borders taken from the wrong value would move the bar at every restart.
  EXPECT_EQ(FrameFromExtents({2, 4, 23, 6}), (FrameExtents{2, 23}));
  EXPECT_EQ(FrameFromExtents({0, 0, 0, 0}), (FrameExtents{0, 0}));
}

// Device pixels of the server, logical ones of Qt: the place read back at a scale of 2 is
// the place asked for, never twice it.
TEST(BarPlace, DevicePixelsAndLogicalOnesAtEveryScale) {
  const struct {
    double ratio;
    int logical, device;
  } rows[] = {{1.0, 677, 677}, {2.0, 677, 1354}, {1.5, 200, 300}, {1.25, 241, 301}, {2.0, -5, -10}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ratio);
    EXPECT_EQ(DevicePixels(row.logical, row.ratio), row.device);
    EXPECT_EQ(LogicalPixels(row.device, row.ratio), row.logical);
  }
}

// A manager that keeps a place of its own is asked again every check, 20 in all, then has the
// last word: the bar settles, and where it settled is stored.
TEST(BarPlace, APlaceIsAskedForUntilSeenOrTwentyChecksOfAShownBar) {
  const BarRect target{500, 200, 400, 22}, elsewhere{0, 0, 400, 22};
  PlaceRequest request;
  request.Start();
  EXPECT_EQ(request.Check(false, elsewhere, target), PlaceRequest::Next::kWait);  // not yet mapped
  for (int check = 1; check < PlaceRequest::kMaxChecks; ++check) {
    ASSERT_EQ(request.Check(true, elsewhere, target), PlaceRequest::Next::kAskAgain) << check;
  }
  EXPECT_EQ(request.Check(true, elsewhere, target), PlaceRequest::Next::kSettled);
  request.Start();
  EXPECT_EQ(request.Check(true, elsewhere, target), PlaceRequest::Next::kAskAgain);
  EXPECT_EQ(request.Check(true, target, target), PlaceRequest::Next::kSettled);
}

// A poll after poll: only news reaches the screen, the shell and a screen reader.
TEST(ShownStatus, EachStatusChangesOnlyWhatDiffersFromTheOneShown) {
  const std::string long_text(kMaxBarChars + 10, 'x');
  const std::string long_tip_same(116, 'x');  // the tip holds 116 characters of the text
  struct Row {
    Status status;
    StatusChange change;  // look, text, tip
  };
  const Row rows[] = {
      {{"", true}, {true, true, true}},  // the first, even empty, replaces "LabelMain"
      {{"", true}, {false, false, false}},
      {{"Ваш баланс: 5", true}, {false, true, true}},
      {{"Ваш баланс: 5", true, "5"}, {false, false, false}},  // the balance is not shown apart
      {{"Ваш баланс: 5", false}, {true, false, false}},
      {{"Ваш баланс: 5", true}, {true, false, false}},
      {{long_tip_same, true}, {false, true, true}},
      {{long_tip_same + "y", true}, {false, true, false}},  // past the tip's end
      {{long_text, true}, {false, true, false}},
      {{long_text + "z", true}, {false, false, false}},  // past what the bar shows
  };
  ShownStatus shown;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status.text.substr(0, 20) + (row.status.ok ? " ok" : " error"));
    const StatusChange change = shown.Show(row.status);
    EXPECT_EQ(change.look, row.change.look);
    EXPECT_EQ(change.text, row.change.text);
    EXPECT_EQ(change.tip, row.change.tip);
  }
}

// The tip's limit, counted in characters of any width; the front ends only pass it on.
TEST(StatusTip, TheTitleAndAtMost116CharactersOfTheText) {
  EXPECT_EQ(StatusTip(""), "Kestrion : ");
  for (const std::string piece : {"x", "ж", "€", "😀"}) {
    for (const std::size_t length : {115, 116, 117}) {
      std::string text;
      for (std::size_t i = 0; i < length; ++i) text += piece;
      SCOPED_TRACE(piece + " times " + std::to_string(length));
      EXPECT_EQ(StatusTip(text),
                "Kestrion : " + text.substr(0, std::min<std::size_t>(length, 116) * piece.size()));
    }
  }
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

std::string Place(int left, int top, int width, int height) {
  return std::to_string(left) + "," + std::to_string(top) + " " + std::to_string(width) + "x" +
         std::to_string(height);
}

// The windows as described, stated here once: captions, places and sizes, the settings
// dialog's controls and the about box's labels. The front ends' tests check their windows
// against these tables.
TEST(DescribedLayouts, TheBarTheSettingsDialogAndTheAboutBox) {
  EXPECT_STREQ(kAppTitle, "Kestrion");
  EXPECT_EQ(Place(kBarDesignLeft, kBarDesignTop, kBarDesignClientWidth, kBarDesignClientHeight),
            "195,677 235x15");
  EXPECT_EQ((std::array{kBarMinWidth, kBarMinHeight, kBarMaxHeight}), (std::array{32, 15, 48}));
  EXPECT_STREQ(kFormFontFace, "MS Sans Serif");
  EXPECT_EQ((std::array{kFormFontPoints, kFormFontPixels}), (std::array{8, 11}));

  EXPECT_STREQ(kSettingsCaption, "Параметры");
  EXPECT_EQ(Place(kSettingsLeft, kSettingsTop, kSettingsWidth, kSettingsHeight), "395,426 455x114");
  using Role = SettingsRole;
  std::vector<std::pair<Role, std::string>> controls;
  for (const SettingsControl& c : SettingsControls()) {
    const ControlPlace& p = c.place;
    controls.emplace_back(c.role, std::string(c.name) + " '" + c.caption + "' " +
                                      Place(p.left, p.top, p.width, p.height));
  }
  // The bevel shows only its top line: 434 wide, as tall as the line.
  EXPECT_EQ(
      controls,
      (std::vector<std::pair<Role, std::string>>{
          {Role::kLoginLabel, "Label2 'PIN1' 8,24 29x13"},
          {Role::kLogin, "eLogin '1' 63,20 200x21"},
          {Role::kPswdLabel, "Label3 'PIN2' 8,48 29x13"},
          {Role::kPswd, "ePswd '123' 63,45 200x21"},
          {Role::kShortcutBox, "CheckBoxCreateStartup 'Автозапуск' 8,88 97x16"},
          {Role::kShortcutBox, "CheckBoxCreateDesktop 'Ярлык на Рабочем столе' 105,88 177x16"},
          {Role::kShortcutBox, "CheckBoxCreateStartmenu 'Ярлык в меню \"Пуск\"' 288,88 153x16"},
          {Role::kOk, "BitBtnOk 'OK' 362,18 79x25"},
          {Role::kCancel, "BitBtnCancel '&Отмена' 362,48 79x25"},
          {Role::kBevel, "Bevel1 '' 7,79 434x2"},
          {Role::kGroupBox, "GroupBox1 'Параметры' 3,0 449x111"},
      }));
  std::vector<int> folders;
  for (const ShortcutBox& box : ShortcutBoxes()) folders.push_back(box.csidl);
  EXPECT_EQ(folders, (std::vector<int>{7, 0, 2}));

  EXPECT_STREQ(kAboutCaption, "О программе");
  EXPECT_EQ((std::array{kAboutWidth, kAboutHeight, kAboutPictureWidth, kAboutPictureHeight}),
            (std::array{281, 140, 283, 142}));
  EXPECT_STREQ(kAboutFontFace, "Verdana");
  EXPECT_EQ((std::array{kAboutFontPoints, kAboutFontPixels}), (std::array{8, 11}));
  EXPECT_EQ(kAboutTextColour, 15693155u);
  std::vector<std::string> labels;
  for (const AboutLabel& label : AboutLabels({"mail", "web", "notice"})) {
    labels.push_back(std::string(label.name) + " '" + label.text + "' " +
                     std::to_string(label.left) + "," + std::to_string(label.top) +
                     (label.link ? " link" : ""));
  }
  EXPECT_EQ(labels,
            (std::vector<std::string>{"Label1 'e-mail:' 9,88", "Label2 'WWW:' 9,106",
                                      "LabelWebLink 'mail' 65,88 link",
                                      "LabelMailTo 'web' 65,106 link", "Label5 'notice' 130,124"}));
}

// The layouts at another DPI: every length scaled by DPI / 96 and rounded as MulDiv rounds.
TEST(DescribedLayouts, AtAnotherDpiEveryLengthIsScaled) {
  const struct {
    int pixels;
    std::array<int, 4> at;  // 96, 120, 144 and 192 dpi
  } lengths[] = {
      {kBarMinHeight, {15, 19, 23, 30}},  // 18.75; 22.5
      {kBarDesignClientWidth, {235, 294, 353, 470}},
      {-11, {-11, -14, -17, -22}},  // below zero: halves away from it
  };
  for (const auto& length : lengths) {
    EXPECT_EQ((std::array{ScaleForDpi(length.pixels, 96), ScaleForDpi(length.pixels, 120),
                          ScaleForDpi(length.pixels, 144), ScaleForDpi(length.pixels, 192)}),
              length.at)
        << length.pixels;
  }
  EXPECT_EQ(ScaleForDpi(235, 0), 235) << "a failed query is taken as 96 dpi";
  // Fonts by their points, as Windows sizes them: 11 pixels at 96 dpi as described, and in
  // proportion elsewhere (16, where 11 pixels scaled would round up to 17 and outgrow the
  // places laid out for the texts).
  for (const int points : {kFormFontPoints, kAboutFontPoints}) {
    EXPECT_EQ((std::array{FontPixelsForDpi(points, 96), FontPixelsForDpi(points, 120),
                          FontPixelsForDpi(points, 144), FontPixelsForDpi(points, 192)}),
              (std::array{11, 13, 16, 21}));
  }
  EXPECT_EQ(ConstrainBarSize({1, 2, 10, 10}, 144), (BarRect{1, 2, 48, 23}));
  EXPECT_EQ(ConstrainBarSize({1, 2, 500, 100}, 144), (BarRect{1, 2, 500, 72}));
  // A control's edges are scaled, not its size: neighbours stay flush (105 + 177 = 282).
  const ControlPlace desktop_box = ScalePlace({105, 88, 177, 16}, 120);
  EXPECT_EQ(Place(desktop_box.left, desktop_box.top, desktop_box.width, desktop_box.height),
            "131,110 222x20");
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
  // The address as the settings build it (their own tests pin it), opened as it is.
  const std::string stat_address = NotingFront().HeldSettings().GetStatURL();
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
  // The bar's menu: at the pointer; from the keyboard under the bar, or above it at the foot.
  const BarRect area{0, 0, 1024, 740};
  EXPECT_EQ(BarMenuPlace({100, 200, 235, 19}, area, BarPoint{5, 9}), (MenuPlace{{5, 9}}));
  EXPECT_EQ(BarMenuPlace({100, 200, 235, 19}, area, std::nullopt), (MenuPlace{{100, 219}}));
  EXPECT_EQ(BarMenuPlace({100, 677, 235, 19}, area, std::nullopt), (MenuPlace{{100, 677}, true}));
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
      {238, 10, kEdgeRight, FrameCursor::kSizeHorizontal},  // the frames' innermost lines
      {120, 18, kEdgeBottom, FrameCursor::kSizeVertical},
      {237, 10, 0, FrameCursor::kArrow},  // and the first pixels inside
      {120, 17, 0, FrameCursor::kArrow},
      {120, 2, kEdgeTop, FrameCursor::kSizeVertical},
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
