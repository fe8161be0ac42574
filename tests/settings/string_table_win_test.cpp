#include "settings/string_table.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

TEST(StringTableWin, TheProgramsAddressesComeFromItsResources) {
  EXPECT_EQ(LoadResourceString(ProgramStringTable(), kModuleIdId), "9");
  EXPECT_EQ(LoadResourceString(ProgramStringTable(), kBalanceUrlId).rfind("http://", 0), 0u);
  EXPECT_EQ(LoadResourceString(ProgramStringTable(), 77), "");
}

}  // namespace
}  // namespace kestrion
