#include "app/program.h"

#include "ui/single_copy.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrion {
namespace {

std::vector<std::string> events;

// Forms that log what happens to them and check their global as it happens.
template <const char* kName>
struct Form {
  static Form* global;
  Form() { events.push_back(std::string("make ") + kName); }
  ~Form() { events.push_back(std::string("destroy ") + kName + (global ? " (still set)" : "")); }
  void FormCreate() {
    events.push_back(std::string("create ") + kName + (global == this ? "" : " (not set)"));
    if (std::string(kName) == "bar") throw std::runtime_error("no bar");
  }
};
template <const char* kName>
Form<kName>* Form<kName>::global = nullptr;

constexpr char kBar[] = "bar";
constexpr char kAbout[] = "about";
constexpr char kSettings[] = "settings";

struct LoggingFront : ProgramFront {
  bool TakeSessionCopy() override { return only_copy; }
  void ShowException(const std::string& message) override { events.push_back("shown " + message); }
  void BeforeWindows() override { events.push_back("before"); }
  void Run() override { events.push_back("run"); }
  void LoopEnded() override { events.push_back("loop ended"); }
  bool only_copy = true;
};

TEST(RunProgram, MakesTheFormsInOrderSurvivesAFailingHandlerAndDestroysInReverse) {
  LoggingFront front;
  RunProgram(front, Form<kBar>::global, Form<kAbout>::global, Form<kSettings>::global);
  EXPECT_EQ(events, (std::vector<std::string>{"before", "make bar", "create bar", "shown no bar",
                                              "make about", "make settings", "create settings",
                                              "run", "loop ended", "destroy settings",
                                              "destroy about", "destroy bar"}));
  EXPECT_EQ(Form<kBar>::global, nullptr);
}

TEST(RunProgram, AStartWhileACopyRunsMakesNothing) {
  events.clear();
  LoggingFront front;
  front.only_copy = false;
  RunProgram(front, Form<kBar>::global, Form<kAbout>::global, Form<kSettings>::global);
  EXPECT_TRUE(events.empty());
}

// A claim held by `held_for` attempts, a running copy that answers from its `answers_from`th
// question on.
struct FakeCopy : SessionCopy {
  bool Claim() override { return ++claims > held_for; }
  bool AskRunningCopy() override { return ++asked >= answers_from; }
  int held_for = 0, answers_from = 1'000'000, claims = 0, asked = 0;
};

TEST(TakeSessionCopy, ClaimsOrAsksTheRunningCopyAndWaitsOnlyWhileNeitherWorks) {
  constexpr int four_s = 4000 / kSessionCopyPauseMs;
  const struct {
    int held_for, answers_from;
    bool runs;
    int asked, pauses;
  } rows[] = {
      {0, 1'000'000, true, 0, 0},                 // the first copy
      {1'000'000, 1, false, 1, 0},                // a copy runs and answers
      {1'000'000, 3, false, 3, 2},                // it is still making its windows
      {2, 1'000'000, true, 2, 2},                 // it was ending (an update replaces it)
      {four_s, 1'000'000, true, four_s, four_s},  // and took 4 s to end
      {1'000'000, 1'000'000, false, 50, 50},      // it never answers: a copy all the same
  };
  for (const auto& row : rows) {
    FakeCopy copy;
    copy.held_for = row.held_for;
    copy.answers_from = row.answers_from;
    int pauses = 0;
    EXPECT_EQ(TakeSessionCopy(
                  copy, [&pauses] { ++pauses; }, kSessionCopyAttempts),
              row.runs)
        << row.held_for;
    EXPECT_EQ(copy.asked, row.asked) << row.held_for;
    EXPECT_EQ(pauses, row.pauses) << row.held_for;
  }
}

TEST(SessionCopyName, OneNameADisplayHoweverItIsSpelt) {
  const std::string app = kAppId;
  const std::pair<const char*, std::string> rows[] = {
      {":0", app + ".Display_0"},
      {":0.1", app + ".Display_0"},  // another screen of the same display
      {"unix:0", app + ".Display_0"},
      {"localhost:10.0", app + ".Display_10"},
      {":1", app + ".Display_1"},
      {"thin-client.lan:2.0", app + ".Display_thin_client_lan_2"},
      {"wayland-0", app + ".Display_wayland_0"},  // no X display, Wayland's own
      {"", app + ".Display_none"},
  };
  for (const auto& [display, name] : rows) EXPECT_EQ(SessionCopyName(display), name) << display;
}

}  // namespace
}  // namespace kestrion
