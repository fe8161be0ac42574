#include "settings/registry.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "tests/settings/fakes.h"
#include "tests/settings/registry_contract.h"

namespace kestrion {
namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

class RegistryTest : public ::testing::Test {
 protected:
  std::unique_ptr<Registry> Open() {
    auto reg = store_.Factory()();
    reg->OpenKey(kRegKey, true);
    return reg;
  }
  test::MemoryRegistry store_;
};

TEST_F(RegistryTest, TextsAreCutAtTheFirstZeroByteAndNeverExpanded) {
  store_.SetRaw("a", kRegSz, std::string("abc\0def\0", 8));
  store_.SetText("b", "%APPDATA%\\x", kRegExpandSz);
  store_.SetText("c", "  blanks  ");
  auto reg = Open();
  EXPECT_EQ(reg->ReadString("a"), "abc");
  EXPECT_EQ(reg->ReadString("b"), "%APPDATA%\\x");
  EXPECT_EQ(reg->ReadString("c"), "  blanks  ");
}

TEST_F(RegistryTest, EmptyOrMissingTextReadsAsEmptyWhateverItsType) {
  store_.SetRaw("nothing", kRegDword, "");
  store_.SetText("empty", "");
  auto reg = Open();
  EXPECT_EQ(reg->ReadString("nothing"), "");
  EXPECT_EQ(reg->ReadString("empty"), "");
  EXPECT_EQ(reg->ReadString("absent"), "");
  EXPECT_FALSE(reg->ValueExists("absent"));
  EXPECT_TRUE(reg->ValueExists("empty"));
}

TEST_F(RegistryTest, WrongTypesUnreadableDataAndMissingIntegersRaiseWithTheValueName) {
  store_.SetRaw("login", kRegDword, std::string("\x05\0\0\0", 4));
  store_.SetText("Top", "12");
  store_.SetRaw("Wide", kRegBinary, "12345678");
  store_.SetUnreadable("pswd", kRegSz);
  store_.SetUnreadable("Height", kRegDword);
  auto reg = Open();
  EXPECT_TRUE(reg->ValueExists("pswd"));
  EXPECT_EQ(ErrorOf([&] { reg->ReadString("pswd"); }), "Failed to get data for 'pswd'");
  EXPECT_EQ(ErrorOf([&] { reg->ReadInteger("Height"); }), "Failed to get data for 'Height'");
  EXPECT_EQ(ErrorOf([&] { reg->ReadString("login"); }), "Invalid data type for 'login'");
  EXPECT_EQ(ErrorOf([&] { reg->ReadInteger("Top"); }), "Invalid data type for 'Top'");
  EXPECT_EQ(ErrorOf([&] { reg->ReadInteger("Left"); }), "Failed to get data for 'Left'");
  EXPECT_EQ(ErrorOf([&] { reg->ReadInteger("Wide"); }), "Failed to get data for 'Wide'");
}

TEST_F(RegistryTest, WritesStoreTextWithOneZeroByteAndSignedIntegers) {
  auto reg = Open();
  reg->WriteString("login", "");
  reg->WriteString("pswd", "пароль");
  reg->WriteInteger("Top", -32000);
  reg->WriteInteger("Left", 677);
  EXPECT_EQ(store_.keys[kRegKey]["login"].data, std::string(1, '\0'));
  EXPECT_EQ(reg->ReadString("pswd"), "пароль");
  EXPECT_EQ(reg->ReadInteger("Top"), -32000);
  EXPECT_EQ(store_.keys[kRegKey]["Left"].data, std::string("\xA5\x02\0\0", 4));
}

TEST_F(RegistryTest, FailedWritesRaiseWithTheValueName) {
  auto reg = Open();
  store_.fail_writes = true;
  EXPECT_EQ(ErrorOf([&] { reg->WriteString("login", "x"); }), "Failed to set data for 'login'");
  EXPECT_EQ(ErrorOf([&] { reg->WriteInteger("Top", 1); }), "Failed to set data for 'Top'");
}

TEST_F(RegistryTest, TheStoreInMemoryKeepsTheContractOfTheRealOnes) {
  test::CheckRegistryContract(store_.Factory());
}

}  // namespace
}  // namespace kestrion
