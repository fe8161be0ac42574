#include "app/check_output.h"

#include "app/follow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bar/status.h"
#include "base/exception.h"

namespace kestrion {
namespace {

CheckOptions Parse(std::initializer_list<const char*> args) {
  const std::vector<const char*> argv(args);
  return ParseCheckArguments(static_cast<int>(argv.size()), argv.data());
}

TEST(CheckArguments, KnowsItsOptionsAndRefusesTheRest) {
  EXPECT_EQ(Parse({}).action, CheckOptions::Action::kPoll);
  EXPECT_EQ(Parse({}).format, CheckFormat::kPlain);
  EXPECT_EQ(Parse({"--format=waybar"}).format, CheckFormat::kWaybar);
  EXPECT_EQ(Parse({"--format=i3blocks"}).format, CheckFormat::kI3blocks);
  EXPECT_EQ(Parse({"--format=polybar"}).format, CheckFormat::kPolybar);
  EXPECT_FALSE(Parse({}).follow);
  EXPECT_TRUE(Parse({"--follow", "--format=waybar"}).follow);
  EXPECT_EQ(Parse({"--stat-url"}).action, CheckOptions::Action::kStatUrl);
  EXPECT_EQ(Parse({"--version"}).action, CheckOptions::Action::kVersion);
  EXPECT_THROW(Parse({"--format=json"}), Exception);
  EXPECT_THROW(Parse({"--format"}), Exception);
  EXPECT_THROW(Parse({"extra"}), Exception);
}

TEST(CheckOutput, PlainPrintsTheTextOrNothing) {
  EXPECT_EQ(FormatCheckOutput(Status{"Ваш баланс: 1", true}, CheckFormat::kPlain),
            "Ваш баланс: 1\n");
  EXPECT_EQ(FormatCheckOutput(Status{"", false}, CheckFormat::kPlain), "\n");
  EXPECT_EQ(FormatCheckOutput(std::nullopt, CheckFormat::kPlain), "");
  EXPECT_EQ(FormatCheckOutput(std::nullopt, CheckFormat::kI3blocks), "");
}

// The server's text (or anyone's on the way) reaches terminals and status bars as one line
// of UTF-8 with no control character in it, whole characters only.
TEST(CheckOutput, ServerTextBecomesOneSafeLineInEveryFormat) {
  const struct {
    std::string text;
    std::string line;
  } cases[] = {
      {"Нет\r\nденег\tдо 5-го\n", "Нет  денег до 5-го "},
      {"a\x1b[2Jb\x07\x7f\x01", "a [2Jb   "},
      {"C1:\u0085\u009b31m\u0080|\u00a0ж\u2028", "C1:  31m |\u00a0ж "},
      {"cut \xd0 and stray \x9b\xff end", "cut \uFFFD and stray \uFFFD\uFFFD end"},
      {"\xe2\x82", "\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatCheckOutput(Status{c.text, false}, CheckFormat::kPlain), c.line + "\n");
    EXPECT_EQ(FormatCheckOutput(Status{c.text, false}, CheckFormat::kI3blocks),
              c.line + "\n" + c.line + "\n#FF0000\n");
    const std::string waybar = FormatCheckOutput(Status{c.text, false}, CheckFormat::kWaybar);
    EXPECT_NE(waybar.find("Kestrion : " + c.line), std::string::npos) << waybar;
  }
}

TEST(CheckOutput, WaybarGetsValidJsonWithTheTipRule) {
  EXPECT_EQ(FormatCheckOutput(Status{"Ваш баланс: 5", true}, CheckFormat::kWaybar),
            R"({"text":"Ваш баланс: 5","tooltip":"Kestrion : Ваш баланс: 5","class":"ok"})"
            "\n");
  // Waybar takes both texts for Pango markup.
  EXPECT_EQ(FormatCheckOutput(Status{"a\"b\\c\nd <b>&amp;</b>", false}, CheckFormat::kWaybar),
            R"({"text":"a\"b\\c d &lt;b&gt;&amp;amp;&lt;/b&gt;",)"
            R"("tooltip":"Kestrion : a\"b\\c d &lt;b&gt;&amp;amp;&lt;/b&gt;","class":"error"})"
            "\n");
  EXPECT_EQ(FormatCheckOutput(std::nullopt, CheckFormat::kWaybar),
            R"({"text":"","tooltip":"Kestrion","class":"unchanged"})"
            "\n");
  std::string long_text;
  for (int i = 0; i < 117; ++i) long_text += "ж";
  const std::string out = FormatCheckOutput(Status{long_text, true}, CheckFormat::kWaybar);
  EXPECT_NE(out.find("\"tooltip\":\"" + StatusTip(long_text) + "\""), std::string::npos) << out;
}

TEST(CheckOutput, I3blocksPrintsThreeLines) {
  EXPECT_EQ(FormatCheckOutput(Status{"Нет\nденег", false}, CheckFormat::kI3blocks),
            "Нет денег\nНет денег\n#FF0000\n");
  EXPECT_EQ(FormatCheckOutput(Status{"ok", true}, CheckFormat::kI3blocks), "ok\nok\n#00FF00\n");
  // A status bar shows what the bar would; a script gets the whole text.
  const std::string long_text(kMaxBarChars + 1, 'x');
  const std::string shown(kMaxBarChars, 'x');
  EXPECT_EQ(FormatCheckOutput(Status{long_text, true}, CheckFormat::kI3blocks),
            shown + "\n" + shown + "\n#00FF00\n");
  EXPECT_EQ(FormatCheckOutput(Status{long_text, true}, CheckFormat::kPlain), long_text + "\n");
}

TEST(CheckOutput, ABalanceBelowTheWarningIsLowForStatusBarsOnly) {
  EXPECT_EQ(Parse({"--warn-below=100"}).warn_below, 100.0);
  EXPECT_EQ(Parse({"--warn-below=-5,5"}).warn_below, -5.5);
  for (const char* bad :
       {"--warn-below=", "--warn-below=abc", "--warn-below=1.2.3", "--warn-below=1e3",
        "--warn-below=inf", "--warn-below=.", "--warn-below"}) {
    EXPECT_THROW(Parse({bad}), Exception) << bad;
  }
  // The amount is the balance the reply gave, never read back from the text shown: a text
  // of the server's own that looks like a balance is no balance.
  const auto balance = [](const std::string& amount) {
    return Status{"Ваш баланс: " + amount, true, amount};
  };
  const struct {
    Status status;
    bool low;
  } cases[] = {
      {balance("99.99"), true},
      {balance("99,99"), true},
      {balance("-15,20"), true},
      {balance("100"), false},
      {balance("250.00"), false},
      {balance("н/д"), false},
      {balance(""), false},
      {{"Ваш баланс: 5", false, "5"}, false},
      {{"Ваш баланс: 5", true}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status.text);
    EXPECT_EQ(IsLowBalance(c.status, 100.0), c.low);
    EXPECT_FALSE(IsLowBalance(c.status, std::nullopt));
  }
  const Status low{"Ваш баланс: 7", true, "7"};
  EXPECT_EQ(FormatCheckOutput(low, CheckFormat::kWaybar, 10.0),
            R"({"text":"Ваш баланс: 7","tooltip":"Kestrion : Ваш баланс: 7","class":"low"})"
            "\n");
  EXPECT_EQ(FormatCheckOutput(low, CheckFormat::kI3blocks, 10.0),
            "Ваш баланс: 7\nВаш баланс: 7\n#FFBF00\n");
  EXPECT_EQ(FormatCheckOutput(low, CheckFormat::kPlain, 10.0), "Ваш баланс: 7\n");
  EXPECT_EQ(FormatCheckOutput(low, CheckFormat::kPolybar, 10.0), "%{F#FFBF00}Ваш баланс: 7%{F-}\n");
  EXPECT_EQ(CheckExitStatus(low, CheckFormat::kPlain), 0);
}

// A command that keeps running prints a status a line: i3blocks reads such a block's lines
// as JSON objects (format=json), or it would keep only the first field; polybar reads tags
// in whatever the server sends, actions that run commands among them, unless made inert.
TEST(CheckOutput, FollowingPrintsAStatusALineThatNoStatusBarMisreads) {
  EXPECT_EQ(FormatCheckOutput(Status{"Ваш баланс: \"5\"", true}, CheckFormat::kI3blocks,
                              std::nullopt, true),
            R"({"full_text":"Ваш баланс: \"5\"","short_text":"Ваш баланс: \"5\"",)"
            R"("color":"#00FF00"})"
            "\n");
  EXPECT_EQ(
      FormatCheckOutput(Status{"Нет денег", false}, CheckFormat::kI3blocks, std::nullopt, true),
      R"({"full_text":"Нет денег","short_text":"Нет денег","color":"#FF0000","urgent":true})"
      "\n");
  EXPECT_EQ(
      FormatCheckOutput(Status{"Ваш баланс: 5", true}, CheckFormat::kPlain, std::nullopt, true),
      "Ваш баланс: 5\n");
  EXPECT_EQ(FormatCheckOutput(Status{"50%{A1:rm -rf ~:}x%{A}", false}, CheckFormat::kPolybar),
            "%{F#FF0000}50%\u2060{A1:rm -rf ~:}x%\u2060{A}%{F-}\n");
}

// A refresh asked for while the loop runs is the caller's to run: a click wakes the poll only.
TEST(FollowLoop, KeepsAnEarlyRefreshRefreshesOnTheCallersThreadTicksAndEnds) {
  using namespace std::chrono_literals;
  FollowLoop loop(150ms);
  const std::thread::id loop_thread = std::this_thread::get_id();
  std::vector<std::string> seen;
  std::mutex seen_mutex;
  const auto see = [&](const char* what) {
    const std::lock_guard lock(seen_mutex);
    seen.push_back(what);
  };
  loop.Refresh();
  loop.Refresh();  // one refresh for both
  int ticks = 0;
  const auto tick = [&] {
    see("tick");
    if (++ticks == 1) std::thread([&loop] { loop.Refresh(); }).join();
    if (ticks == 2) loop.End();
  };
  loop.Run(tick, [&] { see(std::this_thread::get_id() == loop_thread ? "refresh" : "clicked"); });
  loop.Refresh();  // after the end: nothing
  EXPECT_EQ(seen, (std::vector<std::string>{"refresh", "tick", "clicked", "tick"}));
}

// Scripts tell the outcomes apart; a status bar hides the command's output when the exit
// status is not one of its own (waybar: 0; i3blocks: 0, or 33 for urgent).
TEST(CheckOutput, ExitStatusFollowsTheOkFlagAndTheStatusBarsRules) {
  const struct {
    CheckFormat format;
    int ok, error, unchanged;
  } cases[] = {
      {CheckFormat::kPlain, 0, 1, 3},
      {CheckFormat::kWaybar, 0, 0, 0},
      {CheckFormat::kI3blocks, 0, 33, 0},
      {CheckFormat::kPolybar, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    EXPECT_EQ(CheckExitStatus(Status{"x", true}, c.format), c.ok);
    EXPECT_EQ(CheckExitStatus(Status{"x", false}, c.format), c.error);
    EXPECT_EQ(CheckExitStatus(std::nullopt, c.format), c.unchanged);
  }
}

}  // namespace
}  // namespace kestrion
