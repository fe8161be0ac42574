#include "settings_dialog/form_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/poll/counting_poll_thread.h"
#include "tests/settings/fakes.h"

namespace kestrion {
namespace {

class FakeDialog : public SettingsDialogFront {
 public:
  std::string FieldText(SettingsRole role) const override {
    return role == SettingsRole::kLogin  ? " 12345\t"
           : role == SettingsRole::kPswd ? "secret\r\n"
                                         : "";
  }
  void ShowSaveError() override { steps.push_back("error"); }
  void CloseWithOk() override { steps.push_back("close"); }
  std::vector<std::string> steps;
};

TEST(ConfirmSettings, StoresTheTrimmedTextsWakesThePollAndClosesAFailedSaveSaysSoFirst) {
  test::MemoryRegistry store;
  test::CountingPollThread poll;
  FakeDialog dialog;
  ConfirmSettings(dialog, store.Factory(), poll.thread());
  EXPECT_EQ(dialog.steps, std::vector<std::string>{"close"});
  EXPECT_EQ(store.keys[kRegKey]["login"].data, std::string("12345", 6));
  EXPECT_EQ(store.keys[kRegKey]["pswd"].data, std::string("secret", 7));
  EXPECT_TRUE(poll.WaitForPolls(2)) << "the first at start, the second from OK";

  store.fail_writes = true;
  ConfirmSettings(dialog, store.Factory(), nullptr);
  EXPECT_EQ(dialog.steps, (std::vector<std::string>{"close", "error", "close"}));
}

// Texts measured wider than their places: who grows, who is pushed, how wide the dialog gets.
TEST(LayOutSettings, ControlsGrowToTheirTextsAndPushTheirRowsTheDialogWidensWithTheFurthest) {
  const struct {
    int dpi;
    std::vector<std::pair<std::string, int>> needs;  // by control name; the others need 0
    std::string moved;  // the controls not where the layout scaled puts them
    int width;
  } rows[] = {
      // Every text fits, one exactly: nothing moves.
      {96, {{"Label2", 29}, {"CheckBoxCreateStartmenu", 153}, {"GroupBox1", 60}}, "", 455},
      // The first box pushes the two after it, the last past the edge; the gap before it stays.
      {96,
       {{"CheckBoxCreateStartup", 105}, {"CheckBoxCreateDesktop", 184}},
       "CheckBoxCreateStartup 8,88 105x16; CheckBoxCreateDesktop 113,88 184x16; "
       "CheckBoxCreateStartmenu 303,88 153x16; Bevel1 7,79 449x2; GroupBox1 3,0 464x111",
       470},
      // The wider label pushes both edits, which stay in line, and the buttons beside them.
      {96,
       {{"Label2", 35}, {"Label3", 31}},
       "Label2 8,24 35x13; eLogin 69,20 200x21; Label3 8,48 31x13; ePswd 69,45 200x21; "
       "BitBtnOk 368,18 79x25; BitBtnCancel 368,48 79x25; Bevel1 7,79 440x2; "
       "GroupBox1 3,0 455x111",
       461},
      // The group box's caption; at 192 dpi, in its pixels.
      {96, {{"GroupBox1", 470}}, "Bevel1 7,79 455x2; GroupBox1 3,0 470x111", 476},
      {192,
       {{"CheckBoxCreateStartmenu", 320}},
       "CheckBoxCreateStartmenu 576,176 320x32; Bevel1 14,158 882x4; GroupBox1 6,0 912x222",
       924},
  };
  for (const auto& row : rows) {
    std::vector<int> needs;
    for (const SettingsControl& control : SettingsControls()) {
      int need = 0;
      for (const auto& [name, width] : row.needs) need = name == control.name ? width : need;
      needs.push_back(need);
    }
    const SettingsLayout layout = LayOutSettings(needs, row.dpi);
    std::string moved;
    for (std::size_t i = 0; i < layout.places.size(); ++i) {
      const ControlPlace& p = layout.places[i];
      const ControlPlace s = ScalePlace(SettingsControls()[i].place, row.dpi);
      if (std::tie(p.left, p.top, p.width, p.height) ==
          std::tie(s.left, s.top, s.width, s.height)) {
        continue;
      }
      moved += (moved.empty() ? "" : "; ") + std::string(SettingsControls()[i].name) + " " +
               std::to_string(p.left) + "," + std::to_string(p.top) + " " +
               std::to_string(p.width) + "x" + std::to_string(p.height);
    }
    EXPECT_EQ(moved, row.moved);
    EXPECT_EQ(layout.width, row.width) << row.moved;
    EXPECT_EQ(layout.height, ScaleForDpi(kSettingsHeight, row.dpi));
  }
}

}  // namespace
}  // namespace kestrion
