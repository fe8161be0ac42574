#include "poll/api_error.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "base/exception.h"

namespace kestrion {
namespace {

TEST(ApiErrorMessage, IsNeverCutWhateverTheCodeAndTexts) {
  EXPECT_EQ(ApiErrorMessage("HttpSendRequest", 12029, "A connection could not be made\r\n"),
            "HttpSendRequest failed with error 12029: A connection could not be made\r\n");
  EXPECT_EQ(ApiErrorMessage("InternetCrackUrl", INT_MIN, ""),
            "InternetCrackUrl failed with error -2147483648: ");
  const std::string long_text(5000, 'z');
  EXPECT_EQ(ApiErrorMessage("X", -1, long_text), "X failed with error -1: " + long_text);
}

TEST(ApiErrorMessage, RaiseApiErrorThrowsItAsAnException) {
  try {
    RaiseApiError("InternetOpen", 7, "text");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "InternetOpen failed with error 7: text");
  }
}

}  // namespace
}  // namespace kestrion
