// The registry accessor over the real current-user registry (Wine's, in the test prefix).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "settings/program_registry.h"
#include "tests/settings/registry_contract.h"

namespace kestrion {
namespace {

class RegistryWinTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kestrion"); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kestrion"); }

  // Puts a value in as another program would, past the accessor.
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kestrion", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }

  // What the system's own reg.exe shows for the key.
  static std::string RegQuery() {
    std::string out;
    FILE* pipe = _popen("reg query HKCU\\Software\\Kestrion", "r");
    if (pipe == nullptr) return out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    _pclose(pipe);
    return out;
  }
};

TEST_F(RegistryWinTest, KeepsTheContractOfEveryStore) {
  test::CheckRegistryContract(OpenProgramRegistry);
}

// Beyond the contract: what the system's own tools see, and texts put in by another program.
TEST_F(RegistryWinTest, WrittenValuesAreWhatTheSystemShowsWithTheirTypes) {
  {
    auto reg = OpenProgramRegistry();
    reg->OpenKey(kRegKey, true);
    reg->WriteString("login", "12345");
    reg->WriteInteger("Top", -5);
    reg->WriteInteger("Left", 677);
  }
  const std::string shown = RegQuery();
  EXPECT_NE(shown.find("login    REG_SZ    12345"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Top    REG_DWORD    0xfffffffb"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Left    REG_DWORD    0x2a5"), std::string::npos) << shown;
}

TEST_F(RegistryWinTest, ExpandableTextsAreNeverExpanded) {
  const wchar_t expand[] = L"%SystemRoot%\\x";
  SetRaw(L"pswd", REG_EXPAND_SZ, expand, sizeof expand);
  auto reg = OpenProgramRegistry();
  reg->OpenKey(kRegKey, false);
  EXPECT_EQ(reg->ReadString("pswd"), "%SystemRoot%\\x");
}

}  // namespace
}  // namespace kestrion
