#include "base/text_codec.h"

#include <gtest/gtest.h>

namespace kestrion {
namespace {

TEST(TextCodec, EveryWindows1251ByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(TextCodec, KnownLettersMapBothWays) {
  EXPECT_EQ(Utf8ToCp1251("АяЁё№€"), "\xC0\xFF\xA8\xB8\xB9\x88");
  EXPECT_EQ(Cp1251ToUtf8("\xC2\xE0\xF8 \xE1\xE0\xEB\xE0\xED\xF1:"), "Ваш баланс:");
}

TEST(TextCodec, WhatWindows1251CannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(Utf8ToCp1251("a₽b😀c"), "a?b?c");
  // Broken UTF-8: a lone continuation byte, a truncated sequence, an overlong form.
  EXPECT_EQ(Utf8ToCp1251("x\x80y\xD0"), "x?y?");
  EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");
}

TEST(TextCodec, Utf16LeBothWaysWithTheReplacementCharacterForWhatHasNoSpelling) {
  using namespace std::string_literals;
  EXPECT_EQ(Utf8ToUtf16Le("Ё😀"), "\x01\x04\x3D\xD8\x00\xDE"s);
  EXPECT_EQ(Utf16LeToUtf8("\x01\x04\x3D\xD8\x00\xDE"s), "Ё😀");
  // A byte that is not UTF-8 becomes U+FFFD; U+FFFD itself is valid.
  EXPECT_EQ(Utf8ToUtf16Le("a\xC0\xAF"), "a\0\xFD\xFF\xFD\xFF"s);
  EXPECT_FALSE(IsUtf8("a\xE0\x80"));
  EXPECT_TRUE(IsUtf8("a\xEF\xBF\xBD"));
  // A lone surrogate of either half becomes U+FFFD; an odd last byte is dropped.
  EXPECT_EQ(Utf16LeToUtf8("\x00\xDC\x3D\xD8x\0y"s), "\xEF\xBF\xBD\xEF\xBF\xBDx");
}

TEST(TextCodec, PrefixCountsCharactersAndNeverSplitsOne) {
  EXPECT_EQ(Utf8Prefix("Баланс", 3), "Бал");
  EXPECT_EQ(Utf8Prefix("ab😀cd", 3), "ab😀");
  EXPECT_EQ(Utf8Prefix("abc", 10), "abc");
  EXPECT_EQ(Utf8Prefix("abc", 0), "");
}

}  // namespace
}  // namespace kestrion
