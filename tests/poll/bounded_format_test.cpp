#include "poll/bounded_format.h"

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace kestrion
