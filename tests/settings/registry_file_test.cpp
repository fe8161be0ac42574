#include "settings/registry_file.h"
#include "settings/program_registry.h"
#include "tests/settings/registry_contract.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

RegValue Sz(const std::string& text) { return {kRegSz, text + '\0'}; }

RegValue Dword(std::uint32_t v) {
  std::string data;
  for (int i = 0; i < 4; ++i) data += static_cast<char>((v >> (8 * i)) & 0xFF);
  return {kRegDword, data};
}

// Readable in a failure message: "type:hex bytes".
std::string Show(const std::optional<RegValue>& value) {
  if (!value) return "absent";
  std::ostringstream out;
  out << value->type << ':' << std::hex;
  for (const char c : value->data) out << ' ' << static_cast<int>(static_cast<unsigned char>(c));
  return out.str();
}

std::vector<RegFileValue> Samples() {
  std::string blob;
  for (int i = 0; i < 100; ++i) blob += static_cast<char>(i);
  return {
      {"login", Sz(R"(say "hi" \ back\slash\)")},
      {"pswd", Sz("пароль=;[x] ")},
      {"empty", Sz("")},
      {"", Sz("default value")},
      {R"(name "quoted" \ )", Sz("v")},
      {"zero", Sz("a\0b"s)},
      {"lines", Sz("one\r\ntwo\n")},
      {"emoji", Sz("\xF0\x9F\x98\x80\n")},
      {"Top", Dword(0)},
      {"Left", Dword(0xFFFFFFFF)},
      {"Width", Dword(static_cast<std::uint32_t>(std::int32_t{-42}))},
      {"expand", {kRegExpandSz, "%HOME%\\bin\0"s}},
      {"expand lines", {kRegExpandSz, "a\nб\0"s}},
      {"cp1251 lines", Sz("\xCF\xE0\n\xF0\0"s)},
      {"blob", {kRegBinary, blob}},
      {"none", {kRegNone, ""}},
      {"multi", {7, "a\0b\0\0"s}},
      {"qword", {11, "\x01\0\0\0\0\0\0\x80"s}},
      {"short dword", {kRegDword, "\x01\x02"}},
  };
}

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

// Each test has its own folder as XDG_CONFIG_HOME on the real file system.
class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "regfile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    path_ = DefaultRegistryFilePath();
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_)
      value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    fs::remove_all(dir_);
  }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static unsigned Mode(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  static std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  RegistryFileBackend Opened(bool create = true) {
    RegistryFileBackend backend(path_);
    EXPECT_TRUE(backend.OpenKey(kRegKey, create));
    return backend;
  }

  fs::path dir_;
  std::string path_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(RegistryFileTest, DefaultPathFollowsTheXdgRules) {
  EXPECT_EQ(path_, (dir_ / "config/kestrion/registry.reg").string());
  ::setenv("HOME", "/home/u", 1);
  for (const char* ignored : {"", "relative/config"}) {
    ::setenv("XDG_CONFIG_HOME", ignored, 1);
    EXPECT_EQ(DefaultRegistryFilePath(), "/home/u/.config/kestrion/registry.reg");
  }
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultRegistryFilePath(), "/home/u/.config/kestrion/registry.reg");
}

TEST_F(RegistryFileTest, EveryTypeRoundTripsThroughTheFile) {
  {
    RegistryFileBackend writer = Opened();
    for (const auto& sample : Samples()) EXPECT_TRUE(writer.SetValue(sample.name, sample.value));
  }
  RegistryFileBackend reader = Opened(false);
  for (const auto& sample : Samples())
    EXPECT_EQ(Show(reader.QueryValue(sample.name)), Show(sample.value)) << sample.name;
  EXPECT_FALSE(ParseRegFile(Read(path_)).broken);
}

TEST_F(RegistryFileTest, KeyExistsOnlyForItsSectionAndTheCreateOpenAddsIt) {
  RegistryFileBackend backend(path_);
  EXPECT_FALSE(backend.KeyExists(kRegKey));
  EXPECT_FALSE(backend.OpenKey(kRegKey, false));
  EXPECT_FALSE(backend.QueryValue("login"));
  EXPECT_FALSE(backend.SetValue("login", Sz("x")));  // no key is open
  EXPECT_FALSE(fs::exists(path_));

  ASSERT_TRUE(backend.OpenKey(kRegKey, true));
  EXPECT_EQ(Read(path_),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Kestrion]\n\n");
  EXPECT_TRUE(backend.KeyExists(kRegKey));
  EXPECT_FALSE(backend.KeyExists("Software"));  // a parent is a key only with its own section
  for (const char* invalid : {"", "\\Software\\Kestrion", "Software\\", "Software\\\\Kestrion"})
    EXPECT_FALSE(backend.OpenKey(invalid, true)) << invalid;
  EXPECT_FALSE(backend.QueryValue("login"));

  // Every query reads the file again.
  Write(path_, Read(path_) + "\"login\"=\"typed\"\n");
  EXPECT_EQ(Show(backend.QueryValue("login")), Show(Sz("typed")));
  backend.CloseKey();
  EXPECT_FALSE(backend.QueryValue("login"));
  EXPECT_FALSE(backend.SetValue("login", Sz("x")));
}

TEST_F(RegistryFileTest, NamesIgnoreAsciiCaseAndKeepTheirFirstSpelling) {
  RegistryFileBackend first(path_);
  ASSERT_TRUE(first.OpenKey("SOFTWARE\\kestrion", true));
  ASSERT_TRUE(first.SetValue("Login", Sz("a")));

  RegistryFileBackend second = Opened(false);
  EXPECT_TRUE(second.KeyExists("software\\KESTRION"));
  ASSERT_TRUE(second.SetValue("LOGIN", Sz("b")));
  EXPECT_EQ(Show(second.QueryValue("login")), Show(Sz("b")));
  EXPECT_EQ(Read(path_),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\kestrion]\n"
            "\"Login\"=\"b\"\n\n");
}

TEST_F(RegistryFileTest, KeepsTheContractOfEveryStore) {
  test::CheckRegistryContract(OpenProgramRegistry);
}

TEST_F(RegistryFileTest, AWriteKeepsEverythingItDoesNotChange) {
  Write(path_,
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; keep me\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
        "\"x\"=dword:00000001\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrion]\r\n"
        "; the account\r\n"
        "\"Login\"=\"old\"\r\n"
        "\"Extra\"=hex:01,\\\r\n"
        "  02\r\n\r\n"
        "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrion\\Sub]\r\n"
        "\"y\"=\"z\"\r\n");
  RegistryFileBackend backend = Opened(false);
  ASSERT_TRUE(backend.SetValue("login", Sz("new")));
  ASSERT_TRUE(backend.SetValue("Top", Dword(5)));
  ASSERT_TRUE(backend.OpenKey("Software\\Gone", true));
  EXPECT_EQ(Read(path_),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "; keep me\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
            "\"x\"=dword:00000001\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kestrion]\r\n"
            "; the account\r\n"
            "\"Login\"=\"new\"\r\n"
            "\"Extra\"=hex:01,\\\r\n"
            "  02\r\n"
            "\"Top\"=dword:00000005\r\n\r\n"
            "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Kestrion\\Sub]\r\n"
            "\"y\"=\"z\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Gone]\r\n\r\n");
  EXPECT_FALSE(backend.KeyExists("HKEY_LOCAL_MACHINE\\Software\\Other"));
}

TEST_F(RegistryFileTest, AnOldRegedit4FileIsWrittenAsVersion5) {
  // Its hex(2) texts are 8-bit; under the new header they have to be UTF-16.
  Write(path_, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kestrion]\n\"e\"=hex(2):41,00\n");
  ASSERT_TRUE(Opened(false).SetValue("login", Sz("me")));
  EXPECT_EQ(Read(path_),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Kestrion]\n"
            "\"e\"=str(2):\"A\"\n\"login\"=\"me\"\n");
}

TEST_F(RegistryFileTest, AFileNotUnderstoodIsKeptAsideBeforeTheFirstWrite) {
  const std::string original =
      "[HKEY_CURRENT_USER\\Software\\Kestrion]\n"
      "\"login\"=\"me\"\n"
      "\"pswd\"=dword:xyz\n"
      "this line means nothing\n"
      "\"Top\"=dword:00000007\n";
  Write(path_, original);
  RegistryFileBackend backend = Opened(false);
  EXPECT_EQ(Show(backend.QueryValue("Top")), Show(Dword(7)));
  EXPECT_FALSE(backend.QueryValue("pswd"));

  ASSERT_TRUE(backend.SetValue("pswd", Sz("s")));
  EXPECT_EQ(Read(path_ + ".broken"), original);
  EXPECT_EQ(Mode(path_ + ".broken"), 0600u);
  EXPECT_EQ(Read(path_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Kestrion]\n"
            "\"login\"=\"me\"\n"
            "\"Top\"=dword:00000007\n"
            "\"pswd\"=\"s\"\n");
}

TEST_F(RegistryFileTest, TheFileIsPrivateInAPrivateFolder) {
  // Neither the config folder nor the kestrion folder exists yet.
  const fs::path folder = fs::path(path_).parent_path();
  Opened().SetValue("pswd", Sz("secret"));
  EXPECT_EQ(Mode(path_), 0600u);
  EXPECT_EQ(Mode(folder), 0700u);

  fs::permissions(folder, fs::perms(0755));
  fs::permissions(path_, fs::perms(0644));
  Opened().SetValue("pswd", Sz("other"));
  EXPECT_EQ(Mode(path_), 0600u);
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Entries(folder), std::vector<std::string>{"registry.reg"});
}

TEST_F(RegistryFileTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  RegistryFileBackend backend = Opened();
  ASSERT_TRUE(backend.SetValue("login", Sz("old")));
  const std::string before = Read(path_);

  // A file size limit stops even root: the write fails half-way with EFBIG.
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = 256;
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const bool written = backend.SetValue("pswd", Sz(std::string(4096, 'x')));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(written);
  EXPECT_EQ(Read(path_), before);
  EXPECT_EQ(Entries(fs::path(path_).parent_path()), std::vector<std::string>{"registry.reg"});

  // A config folder below a regular file can be neither made nor written.
  Write(dir_ / "plain", "not a folder");
  ::setenv("XDG_CONFIG_HOME", (dir_ / "plain").c_str(), 1);
  RegistryFileBackend blocked(DefaultRegistryFilePath());
  EXPECT_FALSE(blocked.OpenKey(kRegKey, true));
  EXPECT_FALSE(blocked.KeyExists(kRegKey));
  EXPECT_EQ(Read(dir_ / "plain"), "not a folder");
}

TEST_F(RegistryFileTest, ALinkedFileIsReadThroughAndReplacedNotWrittenThrough) {
  const fs::path target = dir_ / "elsewhere.reg";
  const std::string linked = "[HKEY_CURRENT_USER\\Software\\Kestrion]\n\"login\"=\"linked\"\n";
  Write(target, linked);
  fs::create_directories(fs::path(path_).parent_path());
  fs::create_symlink(target, path_);

  RegistryFileBackend backend = Opened(false);
  EXPECT_EQ(Show(backend.QueryValue("login")), Show(Sz("linked")));
  ASSERT_TRUE(backend.SetValue("pswd", Sz("p")));
  EXPECT_FALSE(fs::is_symlink(path_));
  EXPECT_EQ(Read(target), linked);
  EXPECT_EQ(Show(backend.QueryValue("login")), Show(Sz("linked")));
}

}  // namespace
}  // namespace kestrion
