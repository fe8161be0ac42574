#include "app/check_output.h"

#include <gtest/gtest.h>

#include "app/exception.h"

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

TEST(CheckOutput, WaybarGetsValidJsonWithTheTipRule) {
  EXPECT_EQ(FormatCheckOutput(Status{"Ваш баланс: 5", true}, CheckFormat::kWaybar),
            R"({"text":"Ваш баланс: 5","tooltip":"Kestrion : Ваш баланс: 5","class":"ok"})"
            "\n");
  EXPECT_EQ(FormatCheckOutput(Status{"a\"b\\c\nd\x01", false}, CheckFormat::kWaybar),
            R"({"text":"a\"b\\c\nd\u0001","tooltip":"Kestrion : a\"b\\c\nd\u0001",)"
            R"("class":"error"})"
            "\n");
  EXPECT_EQ(FormatCheckOutput(std::nullopt, CheckFormat::kWaybar),
            R"({"text":"","tooltip":"Kestrion","class":"unchanged"})"
            "\n");
  const std::string long_text(200, 'x');
  const std::string out = FormatCheckOutput(Status{long_text, true}, CheckFormat::kWaybar);
  EXPECT_NE(out.find("\"tooltip\":\"Kestrion : " + std::string(116, 'x') + "\""),
            std::string::npos);
}

TEST(CheckOutput, I3blocksPrintsThreeLines) {
  EXPECT_EQ(FormatCheckOutput(Status{"Нет\nденег", false}, CheckFormat::kI3blocks),
            "Нет денег\nНет денег\n#FF0000\n");
  EXPECT_EQ(FormatCheckOutput(Status{"ok", true}, CheckFormat::kI3blocks), "ok\nok\n#00FF00\n");
}

TEST(CheckOutput, ExitStatusFollowsTheOkFlag) {
  EXPECT_EQ(CheckExitStatus(Status{"x", true}), 0);
  EXPECT_EQ(CheckExitStatus(Status{"x", false}), 1);
  EXPECT_EQ(CheckExitStatus(std::nullopt), 3);
}

}  // namespace
}  // namespace kestrion
