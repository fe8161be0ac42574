#include "shell/shortcut.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "shell/desktop_entry.h"
#include "tests/shell/exec_unquote.h"

namespace kestrion {
namespace {

// Folders and link files in memory; records every call that would change something.
class FakeShell final : public ShortcutShell {
 public:
  std::map<int, std::string> folders{{kCsidlDesktop, "C:\\Users\\u\\Desktop"}};
  std::set<std::string> dirs{"C:\\Users\\u", "C:\\Users\\u\\Desktop"};
  std::map<std::string, ShortcutFields> links;
  std::vector<std::string> changes;
  char separator = '\\';

  std::string FolderPath(int csidl) override { return folders.count(csidl) ? folders[csidl] : ""; }
  char Separator() const override { return separator; }
  std::string LinkExtension() const override { return ".lnk"; }
  bool IsDirectory(const std::string& path) override { return dirs.count(path) != 0; }
  bool IsFile(const std::string& path) override { return links.count(path) != 0; }
  void CreateOneDirectory(const std::string& path) override {
    changes.push_back("mkdir " + path);
    if (dirs.count(path.substr(0, path.rfind(separator)))) dirs.insert(path);
  }
  void RemoveFile(const std::string& path) override {
    changes.push_back("rm " + path);
    links.erase(path);
  }
  void SaveLink(const std::string& path, const ShortcutFields& fields) override {
    changes.push_back("save " + path);
    if (dirs.count(path.substr(0, path.rfind(separator))) && !dirs.count(path))
      links[path] = fields;
  }
};

constexpr char kLink[] = "C:\\Users\\u\\Desktop\\Kestrion.lnk";

TEST(Shortcut, TheNameIsWhatFollowsTheLastBackslashOrColon) {
  EXPECT_EQ(ShortcutName("Kestrion"), "Kestrion");
  EXPECT_EQ(ShortcutName("a:b\\c:Kestrion"), "Kestrion");
  EXPECT_EQ(ShortcutName("C:\\dir\\"), "");
  FakeShell shell;
  EXPECT_EQ(GetShortcutPath(shell, kCsidlDesktop, "x\\y:Kestrion"), kLink);
}

TEST(Shortcut, AFolderThatCannotBeLocatedTouchesNothing) {
  FakeShell shell;
  shell.folders.clear();
  shell.links["\\Kestrion.lnk"] = shell.links["Kestrion.lnk"] = {};
  CreateShortcut(shell, kCsidlDesktop, "", "C:\\k\\k.exe", "Kestrion");
  DeleteShortcut(shell, kCsidlDesktop, "Kestrion");
  EXPECT_FALSE(ShortcutExists(shell, kCsidlDesktop, "Kestrion"));
  EXPECT_EQ(GetShortcutPath(shell, kCsidlDesktop, "Kestrion"), "");
  EXPECT_TRUE(shell.changes.empty());
  EXPECT_EQ(shell.links.size(), 2u);
}

TEST(Shortcut, OnlyTheFolderItselfIsCreatedNeverItsParents) {
  FakeShell shell;
  shell.folders[kCsidlStartup] = "C:\\Users\\u\\Startup";
  shell.folders[kCsidlPrograms] = "C:\\Users\\u\\Start Menu\\Programs";
  CreateShortcut(shell, kCsidlStartup, "", "C:\\k\\k.exe", "Kestrion");
  CreateShortcut(shell, kCsidlPrograms, "", "C:\\k\\k.exe", "Kestrion");
  CreateShortcut(shell, kCsidlDesktop, "", "C:\\k\\k.exe", "Kestrion");
  EXPECT_EQ(shell.changes, (std::vector<std::string>{
                               "mkdir C:\\Users\\u\\Startup",
                               "save C:\\Users\\u\\Startup\\Kestrion.lnk",
                               "mkdir C:\\Users\\u\\Start Menu\\Programs",
                               "save C:\\Users\\u\\Start Menu\\Programs\\Kestrion.lnk",
                               std::string("save ") + kLink,
                           }));
  EXPECT_TRUE(ShortcutExists(shell, kCsidlStartup, "Kestrion"));
  EXPECT_FALSE(ShortcutExists(shell, kCsidlPrograms, "Kestrion"));
}

TEST(Shortcut, CreatingAgainReplacesTheLinkWithTheCurrentLocation) {
  FakeShell shell;
  CreateShortcut(shell, kCsidlDesktop, "", "C:\\old\\k.exe", "Kestrion");
  CreateShortcut(shell, kCsidlDesktop, "-x", "D:\\new place\\k.exe", "Kestrion");
  ASSERT_EQ(shell.links.size(), 1u);
  const ShortcutFields& link = shell.links[kLink];
  EXPECT_EQ(link.target, "D:\\new place\\k.exe");
  EXPECT_EQ(link.working_directory, "D:\\new place\\");
  EXPECT_EQ(link.description, "Kestrion");
  EXPECT_EQ(link.arguments, "-x");
  EXPECT_EQ(link.show_command, 5);
}

TEST(Shortcut, TheWorkingDirectoryIsTheTargetsFolderWithItsSeparator) {
  FakeShell shell;
  shell.separator = '/';
  shell.folders[kCsidlDesktop] = "/home/u";
  shell.dirs = {"/home/u"};
  CreateShortcut(shell, kCsidlDesktop, "", "/opt/kestrion/bin/kestrion", "Kestrion");
  CreateShortcut(shell, kCsidlDesktop, "", "kestrion", "K2");
  EXPECT_EQ(shell.links["/home/u/Kestrion.lnk"].working_directory, "/opt/kestrion/bin/");
  EXPECT_EQ(shell.links["/home/u/K2.lnk"].working_directory, "");
}

// ---- Desktop Entry files -------------------------------------------------------------------

TEST(DesktopEntry, APlainTargetIsWrittenAsIs) {
  const ShortcutFields fields{"/opt/kestrion/bin/kestrion", "Kestrion", "", 5,
                              "/opt/kestrion/bin/"};
  EXPECT_EQ(DesktopEntryText(fields, "kestrion"),
            "[Desktop Entry]\nType=Application\nName=Kestrion\nComment=Kestrion\n"
            "Exec=/opt/kestrion/bin/kestrion\nPath=/opt/kestrion/bin/\nIcon=kestrion\n"
            "Terminal=false\n");
  // Both layers of escaping stack: the quoting's \\ becomes \\\\ in the file.
  EXPECT_EQ(QuoteExecArgument("C:\\a b"), R"("C:\\\\a b")");
}

TEST(DesktopEntry, EveryTargetIsReadBackAsItWasGiven) {
  const std::vector<std::string> targets = {
      "/opt/kestrion/bin/kestrion",
      "/home/u/my apps/kestrion",
      "/tmp/say \"hi\"/k",
      "/tmp/$HOME/k",
      "/tmp/`id`/k",
      "/tmp/it's/k",
      "C:\\Program Files\\k.exe",
      "/tmp/a\\\\b\\",
      "/tmp/100%/k%%",
      "/tmp/100% sure/k",
      "/tmp/a\nb\tc\rd/k",
      "/home/пользователь/кестрион",
      " /lead/and/trail ",
      "/tmp/~;&|<>*?#()=/k",
      "",
  };
  for (const std::string& target : targets) {
    const ShortcutFields fields{target, " Kes\\trion\n", "--x 100%", 5, target + "/"};
    const auto keys = test::ReadDesktopEntry(DesktopEntryText(fields, "kestrion"));
    EXPECT_EQ(keys.count("!"), 0u) << target;
    EXPECT_EQ(test::ExecArguments(DesktopEntryText(fields, "kestrion")),
              (std::vector<std::string>{target, "--x", "100%"}))
        << target;
    EXPECT_EQ(test::UnescapeDesktopValue(keys.at("Name")), fields.description) << target;
    EXPECT_EQ(test::UnescapeDesktopValue(keys.at("Path")), fields.working_directory) << target;
  }
}

// ---- user-dirs.dirs ------------------------------------------------------------------------

TEST(DesktopDirFromUserDirs, ReadsTheFolderAsXdgUserDirsWritesIt) {
  const std::string home = "/home/u";
  const auto dir = [&](const std::string& text) { return DesktopDirFromUserDirs(text, home); };
  EXPECT_EQ(dir("# comment\nXDG_DOWNLOAD_DIR=\"$HOME/D\"\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"),
            "/home/u/Desktop");
  EXPECT_EQ(dir(" \tXDG_DESKTOP_DIR = \"/data/Рабочий стол/\" # mine"), "/data/Рабочий стол");
  EXPECT_EQ(dir("XDG_DESKTOP_DIR=\"$HOME/\""), "/home/u");
  EXPECT_EQ(dir("XDG_DESKTOP_DIR=\"$HOME/my \\\"desk\\\"\""), "/home/u/my \"desk\"");
  EXPECT_EQ(dir("XDG_DESKTOP_DIR=\"/a\"\nXDG_DESKTOP_DIR=\"$HOME/b\""), "/home/u/b");
  EXPECT_EQ(dir("XDG_DESKTOP_DIR=\"/a\"\nXDG_DESKTOP_DIR=\"b\""), "/a");
  EXPECT_EQ(DesktopDirFromUserDirs("XDG_DESKTOP_DIR=\"/abs\"", ""), "/abs");
  for (const std::string bad :
       {"", "XDG_DESKTOP_DIR=Desktop", "XDG_DESKTOP_DIR=\"Desktop\"", "XDG_DESKTOP_DIR=\"/a",
        "XDG_DESKTOP_DIR=\"$HOMEDIR/x\"", "# XDG_DESKTOP_DIR=\"/a\"", "XDG_DESKTOP_DIRS=\"/a\""})
    EXPECT_EQ(dir(bad), "") << bad;
  EXPECT_EQ(DesktopDirFromUserDirs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"", ""), "");
}

}  // namespace
}  // namespace kestrion
