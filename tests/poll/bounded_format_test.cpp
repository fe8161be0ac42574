#include "poll/bounded_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "base/exception.h"
#include "poll/api_error.h"

namespace kestrion {
namespace {

TEST(BoundedFormat, OutOfRangeCapacityWritesNothing) {
  char buffer[8] = "keep";
  EXPECT_EQ(BoundedFormat(buffer, 0, "%s", "x"), kFormatInvalidArg);
  EXPECT_EQ(BoundedFormat(buffer, std::size_t{0x80000000}, "%s", "x"), kFormatInvalidArg);
  EXPECT_STREQ(buffer, "keep");
}

TEST(BoundedFormat, CutsToCapacityLessOneAndAlwaysTerminates) {
  char buffer[6];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(BoundedFormat(buffer, sizeof buffer, "%d-%s", 12, "abc"), kFormatInsufficientBuffer);
  EXPECT_STREQ(buffer, "12-ab");
}

TEST(BoundedFormat, ReportsWhetherTheOutputFit) {
  char buffer[4];
  EXPECT_EQ(BoundedFormat(buffer, sizeof buffer, "%s", "abc"), kFormatOk);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(BoundedFormat(buffer, sizeof buffer, "%s", "abcd"), kFormatInsufficientBuffer);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(BoundedFormat(buffer, 1, "%s", "abcd"), kFormatInsufficientBuffer);
  EXPECT_STREQ(buffer, "");
}

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
