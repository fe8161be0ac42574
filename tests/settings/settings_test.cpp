#include "settings/settings.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "settings/encode_url.h"
#include "settings/stored_values.h"
#include "tests/settings/fakes.h"

namespace kestrion {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  test::MemoryRegistry store_;
  test::FakeStringTable strings_;
  Settings settings_{store_.Factory(), strings_};
};

// Stored files and registries of every earlier version hold these names and types.
TEST(StoredValues, NamesAndTypesNeverChange) {
  std::vector<std::pair<std::string, StoredType>> table;
  for (const StoredValue& value : kStoredValues) table.emplace_back(value.name, value.type);
  const auto text = StoredType::kText;
  const auto integer = StoredType::kInteger;
  EXPECT_EQ(table, (std::vector<std::pair<std::string, StoredType>>{{"login", text},
                                                                    {"pswd", text},
                                                                    {"Top", integer},
                                                                    {"Left", integer},
                                                                    {"Width", integer},
                                                                    {"Height", integer}}));
}

TEST_F(SettingsTest, NoKeyGivesFalseButStillLoadsTheStringTable) {
  EXPECT_FALSE(settings_.ReadSettings());
  EXPECT_EQ(settings_.record().Login, "");
  EXPECT_EQ(settings_.record().Pswd, "");
  EXPECT_EQ(settings_.record().ModuleId, "9");
  EXPECT_EQ(settings_.record().StatURL, "https://stat.example.net/korvanta/webexecuter");
}

TEST_F(SettingsTest, EveryTextMustBeThereAndNotEmpty) {
  store_.SetText("login", "12345");
  EXPECT_FALSE(settings_.ReadSettings()) << "pswd absent";
  EXPECT_EQ(settings_.record().Login, "12345");

  store_.SetText("pswd", "");
  EXPECT_FALSE(settings_.ReadSettings()) << "pswd empty";

  store_.SetText("pswd", "secret");
  EXPECT_TRUE(settings_.ReadSettings());

  strings_.texts.erase(kStatUrlId);
  EXPECT_FALSE(settings_.ReadSettings()) << "the statistics address counts too";
}

TEST_F(SettingsTest, EachReadStartsAfreshAndKeepsBlanks) {
  store_.SetText("login", " user ");
  store_.SetText("pswd", "%TEMP%", kRegExpandSz);
  ASSERT_TRUE(settings_.ReadSettings());
  EXPECT_EQ(settings_.record().Login, " user ");
  EXPECT_EQ(settings_.record().Pswd, "%TEMP%");

  store_.keys[kRegKey].erase("pswd");
  EXPECT_FALSE(settings_.ReadSettings());
  EXPECT_EQ(settings_.record().Pswd, "");
}

TEST_F(SettingsTest, AWronglyTypedLoginRaisesAndKeepsTheOldStringTableTexts) {
  ASSERT_FALSE(settings_.ReadSettings());
  store_.SetRaw("login", kRegDword, std::string("\x01\0\0\0", 4));
  store_.SetText("pswd", "secret");
  strings_.texts[kModuleIdId] = "10";
  try {
    settings_.ReadSettings();
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'login'");
  }
  EXPECT_EQ(settings_.record().ModuleId, "9");
  EXPECT_EQ(settings_.record().Pswd, "");
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST_F(SettingsTest, ResourcesAreCutAt1023CharactersNotBytes) {
  strings_.texts[kBalanceUrlId] = "http://h/" + Repeat("ж", 1100);
  settings_.ReadSettings();
  EXPECT_EQ(settings_.record().BalanceURL, "http://h/" + Repeat("ж", 1023 - 9));
}

TEST_F(SettingsTest, PlainCredentialsGiveTheAddressesAsAlwaysBuilt) {
  store_.SetText("login", "user-1.x_y~z");
  store_.SetText("pswd", "Secret42");
  ASSERT_TRUE(settings_.ReadSettings());
  EXPECT_EQ(settings_.GetBalanceURL(),
            "http://balance.example.net/korvanta/balance_sender"
            "?login=user-1.x_y~z&pswd=Secret42&mid=9");
  EXPECT_EQ(settings_.GetStatURL(),
            EncodeURL("https://stat.example.net/korvanta/webexecuter"
                      "?user=user-1.x_y~z&pswd=Secret42&midAuth=9&module=contract"));
}

TEST_F(SettingsTest, CredentialsReachTheServerAsTyped) {
  store_.SetText("login", "a&b=c");
  store_.SetText("pswd", "п #%+/?");
  ASSERT_TRUE(settings_.ReadSettings());
  // Windows-1251 bytes, percent-encoded: 'п' is 0xEF.
  EXPECT_EQ(settings_.GetBalanceURL(),
            "http://balance.example.net/korvanta/balance_sender"
            "?login=a%26b%3Dc&pswd=%EF%20%23%25%2B%2F%3F&mid=9");
  // In the statistics address every byte of the credentials is encoded, separators too,
  // while the address's own separators stay.
  EXPECT_EQ(settings_.GetStatURL(),
            "https://stat.example.net/%6B%6F%72%76%61%6E%74%61/"
            "%77%65%62%65%78%65%63%75%74%65%72"
            "?%75%73%65%72=%61%26%62%3D%63&%70%73%77%64=%EF%20%23%25%2B%2F%3F"
            "&%6D%69%64%41%75%74%68=%39&%6D%6F%64%75%6C%65=%63%6F%6E%74%72%61%63%74");
}

TEST_F(SettingsTest, EmptyFieldsGiveAnAddressWithEmptyParts) {
  strings_.texts.clear();
  settings_.ReadSettings();
  EXPECT_EQ(settings_.GetBalanceURL(), "?login=&pswd=&mid=");
}

}  // namespace
}  // namespace kestrion
