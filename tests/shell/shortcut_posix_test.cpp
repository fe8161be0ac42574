#include "shell/shortcut.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/shell/exec_unquote.h"

namespace kestrion {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// desktop-file-validate's exit status and what it printed. Its warning that Comment repeats
// Name is expected: both are the title.
std::pair<int, std::string> Validate(const std::string& path) {
  const std::string command = "/usr/bin/desktop-file-validate '" + path + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, "cannot run desktop-file-validate"};
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  return {::pclose(pipe), output};
}

class ShortcutPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrion-shortcut-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    home_ = root_ + "/home";
    fs::create_directories(home_ + "/.config");
    fs::create_directories(home_ + "/.local/share");
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
      ::unsetenv(name);
    }
    ::setenv("HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    fs::remove_all(root_);
  }

  std::string Path(int csidl) { return GetShortcutPath(*shell_, csidl, "Kestrion"); }
  void Create(int csidl, const std::string& target) {
    CreateShortcut(*shell_, csidl, "", target, "Kestrion");
  }

  std::string root_, home_;
  std::map<std::string, std::optional<std::string>> saved_;
  std::unique_ptr<ShortcutShell> shell_ = MakeProgramShortcutShell("kestrion");
};

TEST_F(ShortcutPosixTest, EachFolderGetsAValidEntryExecutableOnlyOnTheDesktop) {
  const std::string target = root_ + "/my $apps/it's \"k\"/100%/kestrion";
  const struct {
    int csidl;
    std::string path;
    unsigned mode;
  } cases[] = {
      {kCsidlStartup, home_ + "/.config/autostart/Kestrion.desktop", 0644},
      {kCsidlDesktop, home_ + "/Desktop/Kestrion.desktop", 0755},
      {kCsidlPrograms, home_ + "/.local/share/applications/Kestrion.desktop", 0644},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(ShortcutExists(*shell_, c.csidl, "Kestrion"));
    Create(c.csidl, target);
    ASSERT_EQ(Path(c.csidl), c.path);
    EXPECT_TRUE(ShortcutExists(*shell_, c.csidl, "Kestrion"));
    EXPECT_EQ(Mode(c.path), c.mode);
    EXPECT_EQ(Mode(fs::path(c.path).parent_path()), 0700u);
    const auto [status, output] = Validate(c.path);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find("error"), std::string::npos) << output;
    EXPECT_EQ(test::ExecArguments(ReadText(c.path)), std::vector<std::string>{target});
    DeleteShortcut(*shell_, c.csidl, "Kestrion");
    EXPECT_FALSE(fs::exists(c.path));
    EXPECT_FALSE(ShortcutExists(*shell_, c.csidl, "Kestrion"));
  }
  EXPECT_EQ(Path(5), "");
}

TEST_F(ShortcutPosixTest, TheDesktopIsTheFolderNamedInUserDirs) {
  const std::string config = root_ + "/config";
  fs::create_directory(config);
  ::setenv("XDG_CONFIG_HOME", (config + "/").c_str(), 1);
  std::ofstream(config + "/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n";
  Create(kCsidlDesktop, "/opt/kestrion/bin/kestrion");
  Create(kCsidlStartup, "/opt/kestrion/bin/kestrion");
  EXPECT_EQ(Mode(home_ + "/Рабочий стол/Kestrion.desktop"), 0755u);
  EXPECT_EQ(Mode(config + "/autostart/Kestrion.desktop"), 0644u);
}

TEST_F(ShortcutPosixTest, TheIconIsTheThemesOrThePictureBesideAProgramNotInstalled) {
  Create(kCsidlPrograms, "/usr/bin/kestrion");
  EXPECT_NE(ReadText(Path(kCsidlPrograms)).find("\nIcon=kestrion\n"), std::string::npos);
  fs::create_directory(root_ + "/build");
  std::ofstream(root_ + "/build/kestrion.png") << "picture";
  Create(kCsidlPrograms, root_ + "/build/kestrion");
  EXPECT_NE(ReadText(Path(kCsidlPrograms)).find("\nIcon=" + root_ + "/build/kestrion.png\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(home_ + "/.local/share/icons"));
}

TEST_F(ShortcutPosixTest, CreatingAgainReplacesTheFileAndLeavesNothingElse) {
  const std::string folder = home_ + "/.config/autostart";
  fs::create_directory(folder);
  std::ofstream(folder + "/Kestrion.desktop") << "old";
  fs::permissions(folder + "/Kestrion.desktop", fs::perms::owner_read);
  Create(kCsidlStartup, "/opt/kestrion/bin/kestrion");
  EXPECT_EQ(ReadText(folder + "/Kestrion.desktop").substr(0, 15), "[Desktop Entry]");
  EXPECT_EQ(Mode(folder + "/Kestrion.desktop"), 0644u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(ShortcutPosixTest, ADirectoryAtThePathIsNoShortcutAndIsLeftAlone) {
  const std::string path = home_ + "/.local/share/applications/Kestrion.desktop";
  fs::create_directories(path);
  EXPECT_FALSE(ShortcutExists(*shell_, kCsidlPrograms, "Kestrion"));
  Create(kCsidlPrograms, "/opt/kestrion/bin/kestrion");
  DeleteShortcut(*shell_, kCsidlPrograms, "Kestrion");
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(
      std::distance(fs::directory_iterator(fs::path(path).parent_path()), fs::directory_iterator()),
      1);
}

TEST_F(ShortcutPosixTest, MissingParentsOfTheFolderAreNotCreated) {
  ::setenv("XDG_DATA_HOME", (root_ + "/a/b").c_str(), 1);
  Create(kCsidlPrograms, "/opt/kestrion/bin/kestrion");
  EXPECT_EQ(Path(kCsidlPrograms), root_ + "/a/b/applications/Kestrion.desktop");
  EXPECT_FALSE(fs::exists(root_ + "/a"));
  EXPECT_FALSE(ShortcutExists(*shell_, kCsidlPrograms, "Kestrion"));
}

TEST_F(ShortcutPosixTest, WithoutHomeOnlyAnAbsoluteXdgFolderIsLocated) {
  ::unsetenv("HOME");
  ::setenv("XDG_DATA_HOME", "relative/share", 1);
  EXPECT_EQ(Path(kCsidlStartup), "");
  EXPECT_EQ(Path(kCsidlDesktop), "");
  EXPECT_EQ(Path(kCsidlPrograms), "");
  ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
  EXPECT_EQ(Path(kCsidlStartup), root_ + "/config/autostart/Kestrion.desktop");
}

// The autostart entry read as a session reads it, then run: the script writes a file into its
// working directory, so both Exec and Path must be right.
TEST_F(ShortcutPosixTest, TheAutostartEntryStartsTheProgramInItsFolder) {
  const std::string folder = root_ + "/a $b dir";
  const std::string script = folder + "/run me";
  fs::create_directory(folder);
  std::ofstream(script) << "#!/bin/sh\n: > ran\n";
  fs::permissions(script, fs::perms::owner_all);
  Create(kCsidlStartup, script);

  const std::string text = ReadText(Path(kCsidlStartup));
  auto args = test::ExecArguments(text);
  const auto cwd = test::UnescapeDesktopValue(test::ReadDesktopEntry(text)["Path"]);
  ASSERT_TRUE(args && cwd) << text;
  std::vector<char*> argv;
  for (std::string& arg : *args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::chdir(cwd->c_str()) == 0) ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::exists(folder + "/ran"));
}

}  // namespace
}  // namespace kestrion
