#include "base/exception_display.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrion {
namespace {

TEST(ExceptionDisplay, AFullStopIsAddedAfterLettersAndDigitsOnly) {
  EXPECT_EQ(ExceptionDisplayText(""), "");
  EXPECT_EQ(ExceptionDisplayText("Access denied"), "Access denied.");
  EXPECT_EQ(ExceptionDisplayText("error 42"), "error 42.");
  EXPECT_EQ(ExceptionDisplayText("ошибка сохранения параметров"), "ошибка сохранения параметров.");
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
