#include "settings/encode_url.h"

#include <gtest/gtest.h>

#include "tests/test_data.h"

namespace kestrion {
namespace {

TEST(EncodeURL, SharedVectors) {
  const auto rows = test::ReadVectors("encode_url.tsv", true);
  ASSERT_GE(rows.size(), 10u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(EncodeURL(row[0]), row[1]) << "input: " << row[0];
  }
}

TEST(EncodeURL, EveryByteAfterTheHostIsEncodedButTheSeparators) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string out = EncodeURL("x://y/" + all);
  std::string expected = "x://y/";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (c == '#' || c == '&' || c == '/' || c == '=' || c == '?') {
      expected.push_back(c);
    } else {
      char triplet[4];
      std::snprintf(triplet, sizeof triplet, "%%%02X", b);
      expected += triplet;
    }
  }
  EXPECT_EQ(out, expected);
}

TEST(EncodeURLPieces, UserTextNeverActsAsASeparator) {
  const std::string encoded =
      EncodeURLPieces({{"http://h/p?user="}, {"a&b", true}, {"&pswd="}, {"=/?#", true}});
  EXPECT_EQ(encoded, "http://h/%70?%75%73%65%72=%61%26%62&%70%73%77%64=%3D%2F%3F%23");
}

TEST(EncodeURLPieces, BeforeTheHostEndsUserTextIsEncodedOnlyWhereItMustBe) {
  // A base address without a path: the '?' after the host starts the encoding.
  EXPECT_EQ(EncodeURLPieces({{"x://y"}, {"?u="}, {"a b", true}}), "x://y?%75=%61%20%62");
  // No host at all: nothing is encoded but the user's unsafe bytes.
  EXPECT_EQ(EncodeURLPieces({{"abc?u="}, {"a&b~", true}}), "abc?u=a%26b~");
}

TEST(JoinURLPieces, OnlyUserTextOutsideTheUnreservedSetIsEncoded) {
  EXPECT_EQ(JoinURLPieces({{"http://h/p?x=a&b"}, {"-._~AZaz09", true}, {"&y="}, {"\xC0 ", true}}),
            "http://h/p?x=a&b-._~AZaz09&y=%C0%20");
}

}  // namespace
}  // namespace kestrion
