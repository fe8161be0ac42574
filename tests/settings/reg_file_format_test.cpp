#include "settings/reg_file_format.h"
#include "tests/settings/reg_file_samples.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace kestrion {
namespace {

using namespace std::string_literals;
using test::Dword;
using test::Samples;
using test::Show;
using test::Sz;

bool HasLine(const std::string& text, const std::string& line) {
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (l == line) return true;
  return false;
}

TEST(RegFileFormat, EveryTypeRoundTripsAndIsWrittenAsRegeditWould) {
  const RegFile file{{{"Software\\Kestrion", Samples()}}};
  const std::string text = FormatRegFile(file);

  const RegFile back = ParseRegFile(text);
  EXPECT_FALSE(back.broken);
  ASSERT_EQ(back.sections.size(), 1u);
  EXPECT_EQ(back.sections[0].key, "Software\\Kestrion");
  ASSERT_EQ(back.sections[0].values.size(), file.sections[0].values.size());
  for (std::size_t i = 0; i < back.sections[0].values.size(); ++i) {
    EXPECT_EQ(back.sections[0].values[i].name, file.sections[0].values[i].name);
    EXPECT_EQ(Show(back.sections[0].values[i].value), Show(file.sections[0].values[i].value))
        << file.sections[0].values[i].name;
  }

  EXPECT_TRUE(
      text.starts_with("Windows Registry Editor Version 5.00\n\n"
                       "[HKEY_CURRENT_USER\\Software\\Kestrion]\n"));
  EXPECT_TRUE(HasLine(text, R"("login"="say \"hi\" \\ back\\slash\\")"));
  EXPECT_TRUE(HasLine(text, R"("empty"="")"));
  EXPECT_TRUE(HasLine(text, R"(@="default value")"));
  EXPECT_TRUE(HasLine(text, R"("zero"=hex(1):61,00,00,00,62,00,00,00)"));
  EXPECT_TRUE(HasLine(text, R"("emoji"=hex(1):3d,d8,00,de,0a,00,00,00)"));
  EXPECT_TRUE(HasLine(text, R"("Top"=dword:00000000)"));
  EXPECT_TRUE(HasLine(text, R"("Left"=dword:ffffffff)"));
  EXPECT_TRUE(HasLine(text, R"("Width"=dword:ffffffd6)"));
  EXPECT_TRUE(HasLine(text, R"("expand"=str(2):"%HOME%\\bin")"));
  // Bytes that are not UTF-8 have no UTF-16 spelling: Wine's escapes keep every one of them.
  EXPECT_TRUE(HasLine(text, "\"cp1251 lines\"=\"\xCF\xE0\\n\xF0\\0\""));
  EXPECT_TRUE(HasLine(text, R"("short dword"=hex(4):01,02)"));
  EXPECT_TRUE(HasLine(text, R"("qword"=hex(b):01,00,00,00,00,00,00,80)"));
  // A long list goes on over lines of at most 80 characters, as regedit writes it.
  EXPECT_TRUE(text.find("\"blob\"=hex:00,01,") != std::string::npos);
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);) EXPECT_LE(l.size(), 80u) << l;
}

TEST(RegFileFormat, ASectionOfNoOpenableKeyIsWrittenBackAsItWasRead) {
  const std::string text =
      "[HKEY_CURRENT_USER\\\\Software]\n\"a\"=\"1\"\n[HKCU\\Software\\]\n\"b\"=\"2\"\n";
  const RegFile file = ParseRegFile(text);
  ASSERT_EQ(file.sections.size(), 2u);
  EXPECT_EQ(file.sections[0].key, "\\HKEY_CURRENT_USER\\\\Software");

  const RegFile back = ParseRegFile(FormatRegFile(file));
  EXPECT_FALSE(back.broken);
  ASSERT_EQ(back.sections.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(back.sections[i].key, file.sections[i].key);
    ASSERT_EQ(back.sections[i].values.size(), 1u);
    EXPECT_EQ(Show(back.sections[i].values[0].value), Show(file.sections[i].values[0].value));
  }
}

TEST(RegFileParse, ReadsAHandWrittenRegeditExport) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; written by hand\r\n"
      "[HKEY_CURRENT_USER\\Software\\Kestrion]\r\n"
      "@=\"default\"\r\n"
      "\"login\"=\"a\\\\b\\\"c\"\r\n"
      "\"Top\"=DWORD:0000002A\r\n"
      "\"path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,5c,00,1f,04,40,04,\\\r\n"
      "  38,04,00,00\r\n"
      "\"blob\"=hex:01,02,\\\r\n"
      "  03\r\n"
      "\"gone\"=\"x\"\r\n"
      "\"gone\"=-\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
      "\"x\"=dword:00000001\r\n"
      "\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "\r\n"
      "[HKCU\\Software\\Short]\r\n"
      "\"n\" = \"spaced\"\r\n";
  const RegFile file = ParseRegFile(text);
  EXPECT_FALSE(file.broken);
  ASSERT_EQ(file.sections.size(), 4u);
  EXPECT_EQ(file.sections[1].key, "\\HKEY_LOCAL_MACHINE\\Software\\Other");
  EXPECT_EQ(file.sections[2].key, "\\-HKEY_CURRENT_USER\\Software\\Old");
  EXPECT_EQ(file.sections[3].key, "Software\\Short");

  const auto& values = file.sections[0].values;
  ASSERT_EQ(values.size(), 5u);  // "gone" was deleted
  EXPECT_EQ(values[0].name, "");
  EXPECT_EQ(Show(values[0].value), Show(Sz("default")));
  EXPECT_EQ(Show(values[1].value), Show(Sz("a\\b\"c")));
  EXPECT_EQ(Show(values[2].value), Show(Dword(42)));
  EXPECT_EQ(Show(values[3].value), Show(RegValue{kRegExpandSz, "%HOME%\\При\0"s}));
  EXPECT_EQ(Show(values[4].value), Show(RegValue{kRegBinary, "\x01\x02\x03"}));
  EXPECT_EQ(Show(file.sections[3].values[0].value), Show(Sz("spaced")));
}

TEST(RegFileParse, AcceptsRegedit4AndUtf16Files) {
  const RegFile old = ParseRegFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"e\"=hex(2):41,42,00\n");
  EXPECT_FALSE(old.broken);
  ASSERT_EQ(old.sections.size(), 1u);
  EXPECT_EQ(Show(old.sections[0].values[0].value), Show(RegValue{kRegExpandSz, "AB\0"s}));

  std::string utf16 = "\xFF\xFE";
  for (const char c :
       "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K]\r\n\"a\"=\"b\"\r\n"s)
    utf16 += c + "\0"s;
  const RegFile wide = ParseRegFile(utf16);
  EXPECT_FALSE(wide.broken);
  ASSERT_EQ(wide.sections.size(), 1u);
  EXPECT_EQ(Show(wide.sections[0].values[0].value), Show(Sz("b")));
}

TEST(RegFileParse, ALineNotUnderstoodMarksTheFileButSparesTheRest) {
  for (const std::string bad :
       {"\"pswd\"=dword:xyz", "\"pswd\"=\"C:\\temp\"", "\"pswd\"=\"open", "this means nothing",
        "\"pswd\"=hex:1,2,zz", "\"pswd\"=\"a\" tail"}) {
    const RegFile file = ParseRegFile("[HKEY_CURRENT_USER\\K]\n\"login\"=\"me\"\n" + bad +
                                      "\n\"Top\"=dword:00000007\n");
    EXPECT_TRUE(file.broken) << bad;
    ASSERT_EQ(file.sections.size(), 1u) << bad;
    ASSERT_EQ(file.sections[0].values.size(), 2u) << bad;
    EXPECT_EQ(file.sections[0].values[1].name, "Top") << bad;
  }
  // A section of no known hive takes its values with it; a list cut off at the end is lost.
  const RegFile file = ParseRegFile(
      "[Nowhere\\K]\n\"lost\"=\"1\"\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"1\"\n\"b\"=hex:01,\\\n");
  EXPECT_TRUE(file.broken);
  ASSERT_EQ(file.sections.size(), 1u);
  ASSERT_EQ(file.sections[0].values.size(), 1u);
  EXPECT_EQ(file.sections[0].values[0].name, "a");
}

}  // namespace
}  // namespace kestrion
