#include "settings/registry.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "tests/settings/fakes.h"
#include "tests/settings/registry_contract.h"

namespace kestrion {
namespace {

using test::RegistryErrorOf;

class RegistryTest : public ::testing::Test {
 protected:
  std::unique_ptr<Registry> Open() {
    auto reg = store_.Factory()();
    reg->OpenKey(kRegKey, true);
    return reg;
  }
  test::MemoryRegistry store_;
};

// Beyond what every store does (registry_contract.h): what the accessor makes of the bytes.
TEST_F(RegistryTest, TextsAreCutAtTheFirstZeroByteNeverExpandedAndEmptyWhateverTheirType) {
  store_.SetRaw("a", kRegSz, std::string("abc\0def\0", 8));
  store_.SetText("b", "%APPDATA%\\x", kRegExpandSz);
  store_.SetText("c", "  blanks  ");
  store_.SetRaw("nothing", kRegDword, "");
  auto reg = Open();
  EXPECT_EQ(reg->ReadString("a"), "abc");
  EXPECT_EQ(reg->ReadString("b"), "%APPDATA%\\x");
  EXPECT_EQ(reg->ReadString("c"), "  blanks  ");
  EXPECT_EQ(reg->ReadString("nothing"), "");
}

TEST_F(RegistryTest, UnreadableDataAndOtherTypesRaiseWithTheValueName) {
  store_.SetRaw("Wide", kRegBinary, "12345678");
  store_.SetUnreadable("pswd", kRegSz);
  store_.SetUnreadable("Height", kRegDword);
  auto reg = Open();
  EXPECT_TRUE(reg->ValueExists("pswd"));
  EXPECT_EQ(RegistryErrorOf([&] { reg->ReadString("pswd"); }), "Failed to get data for 'pswd'");
  EXPECT_EQ(RegistryErrorOf([&] { reg->ReadInteger("Height"); }),
            "Failed to get data for 'Height'");
  EXPECT_EQ(RegistryErrorOf([&] { reg->ReadInteger("Wide"); }), "Failed to get data for 'Wide'");
}

TEST_F(RegistryTest, WritesStoreTextWithOneZeroByteAndIntegersLittleEndian) {
  auto reg = Open();
  reg->WriteString("login", "");
  reg->WriteInteger("Left", 677);
  EXPECT_EQ(store_.keys[kRegKey]["login"].data, std::string(1, '\0'));
  EXPECT_EQ(store_.keys[kRegKey]["Left"].data, std::string("\xA5\x02\0\0", 4));
}

TEST_F(RegistryTest, FailedWritesRaiseWithTheValueName) {
  auto reg = Open();
  store_.fail_writes = true;
  EXPECT_EQ(RegistryErrorOf([&] { reg->WriteString("login", "x"); }),
            "Failed to set data for 'login'");
  EXPECT_EQ(RegistryErrorOf([&] { reg->WriteInteger("Top", 1); }), "Failed to set data for 'Top'");
}

TEST_F(RegistryTest, TheStoreInMemoryKeepsTheContractOfTheRealOnes) {
  test::CheckRegistryContract(store_.Factory());
}

}  // namespace
}  // namespace kestrion
