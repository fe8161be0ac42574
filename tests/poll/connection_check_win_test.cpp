#include "poll/connection_check.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

TEST(IsInternetConnected, SaysYesWhenTheHostHasAConnection) { EXPECT_TRUE(IsInternetConnected()); }

}  // namespace
}  // namespace kestrion
