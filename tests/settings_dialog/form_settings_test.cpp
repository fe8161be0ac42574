#include "settings_dialog/form_settings.h"

#include <gtest/gtest.h>

#include <string>
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

}  // namespace
}  // namespace kestrion
