#include "settings/registry_file.h"
#include "settings/program_registry.h"
#include "settings/reg_file_format.h"
#include "tests/settings/reg_file_samples.h"
#include "tests/settings/registry_contract.h"
#include "tests/support/sync_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
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
using test::Dword;
using test::Samples;
using test::Show;
using test::Sz;

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

// A power cut leaves the old file or the new one, whole: the new file reaches the disk
// before it replaces the old one, and the replacement itself (the folder) after.
TEST_F(RegistryFileTest, TheNewFileIsSyncedBeforeTheRenameAndItsFolderAfter) {
  RegistryFileBackend backend = Opened();
  test::StartRecordingSyncs();
  const bool written = backend.SetValue("pswd", Sz("secret"));
  const std::vector<std::string> calls = test::StopRecordingSyncs();
  ASSERT_TRUE(written);
  std::string all;
  for (const std::string& call : calls) all += call + "\n";
  const std::string to = " -> " + path_;
  const auto rename = std::find_if(calls.begin(), calls.end(), [&](const std::string& call) {
    return call.starts_with("rename ") && call.ends_with(to);
  });
  ASSERT_NE(rename, calls.end()) << all;
  const std::string temp =
      fs::weakly_canonical(rename->substr(7, rename->size() - 7 - to.size())).string();
  const auto synced = [](const std::string& path) {
    return [path](const std::string& call) {
      return call == "fsync " + path || call == "fdatasync " + path;
    };
  };
  EXPECT_TRUE(std::any_of(calls.begin(), rename, synced(temp))) << all;
  const std::string folder = fs::canonical(fs::path(path_).parent_path()).string();
  EXPECT_TRUE(std::any_of(rename, calls.end(), synced(folder))) << all;
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
