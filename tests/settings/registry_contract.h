#pragma once

// What every store behind the registry accessor must do alike: the in-memory one of the
// tests, the settings file and the Windows registry each run it.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/exception.h"
#include "settings/registry.h"

namespace kestrion::test {

inline std::string RegistryErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

// `make` gives a fresh accessor on a store in which kRegKey does not exist yet.
inline void CheckRegistryContract(const RegistryFactory& make) {
  {
    auto reg = make();
    EXPECT_FALSE(reg->KeyExists(kRegKey));
    EXPECT_FALSE(reg->OpenKey(kRegKey, false));
    EXPECT_FALSE(reg->KeyExists(kRegKey)) << "opening without create makes nothing";
    EXPECT_TRUE(reg->OpenKey(kRegKey, true));
    reg->WriteString("Login", "кот & co");
    reg->WriteInteger("Top", -32000);
    reg->WriteString("empty", "");
  }
  auto reg = make();
  EXPECT_TRUE(reg->KeyExists("SOFTWARE\\kestrion")) << "key paths ignore case";
  reg->OpenKey(kRegKey, false);
  EXPECT_EQ(reg->ReadString("LOGIN"), "кот & co") << "value names ignore case";
  EXPECT_EQ(reg->ReadInteger("top"), -32000);
  EXPECT_TRUE(reg->ValueExists("login"));
  EXPECT_TRUE(reg->ValueExists("empty"));
  EXPECT_EQ(reg->ReadString("empty"), "");
  EXPECT_FALSE(reg->ValueExists("absent"));
  EXPECT_EQ(reg->ReadString("absent"), "");
  EXPECT_EQ(RegistryErrorOf([&] { reg->ReadInteger("absent"); }),
            "Failed to get data for 'absent'");
  EXPECT_EQ(RegistryErrorOf([&] { reg->ReadString("Top"); }), "Invalid data type for 'Top'");
  EXPECT_EQ(RegistryErrorOf([&] { reg->ReadInteger("empty"); }), "Invalid data type for 'empty'");
  reg->WriteString("login", "другой");
  EXPECT_EQ(reg->ReadString("Login"), "другой") << "one value, whatever the spelling";
}

}  // namespace kestrion::test
