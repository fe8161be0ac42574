// Shell links made through the shell itself, in the Wine prefix's special folders, and read
// back through the shell's link object.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/text_win.h"
#include "shell/shortcut.h"
#include "ui/application_win.h"

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

namespace kestrion {
namespace {

constexpr const char* kTitle = "Kestrion";
constexpr int kFolders[] = {kCsidlStartup, kCsidlDesktop, kCsidlPrograms};

struct LinkRead {
  std::wstring target;
  std::wstring working_directory;
  std::wstring description;
  std::wstring arguments;
};

LinkRead ReadLink(const std::string& path) {
  LinkRead read;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    ADD_FAILURE() << "no shell link object";
    return read;
  }
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  EXPECT_HRESULT_SUCCEEDED(file->Load(Utf8ToWide(path).c_str(), STGM_READ));
  wchar_t text[MAX_PATH * 2] = {};
  link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
  read.target = text;
  link->GetWorkingDirectory(text, MAX_PATH * 2);
  read.working_directory = text;
  link->GetDescription(text, MAX_PATH * 2);
  read.description = text;
  link->GetArguments(text, MAX_PATH * 2);
  read.arguments = text;
  file->Release();
  link->Release();
  return read;
}

// The link header's show command as written. The link object reads anything but normal,
// maximised and minimised back as normal, so SW_SHOW is only seen in the file.
int StoredShowCommand(const std::string& path) {
  constexpr long kShowCommandOffset = 0x3C;
  FILE* file = _wfopen(Utf8ToWide(path).c_str(), L"rb");
  if (file == nullptr) return -1;
  unsigned char bytes[4] = {};
  std::fseek(file, kShowCommandOffset, SEEK_SET);
  const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  return got == sizeof bytes ? bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24 : -1;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

class ShortcutWin : public ::testing::Test {
 protected:
  void SetUp() override { RemoveLinks(); }
  void TearDown() override { RemoveLinks(); }
  void RemoveLinks() {
    for (const int folder : kFolders) DeleteShortcut(*shell, folder, kTitle);
  }

  std::unique_ptr<ShortcutShell> shell = MakeProgramShortcutShell("");
  const std::string exe = WideToUtf8(App().exe_path);
};

TEST_F(ShortcutWin, LinksAreNamedAfterTheTitleInTheUsersShellFolders) {
  EXPECT_EQ(GetShortcutPath(*shell, kCsidlStartup, "C:\\x\\Kestrion"),
            shell->FolderPath(kCsidlStartup) + "\\Kestrion.lnk");
  const std::string programs = shell->FolderPath(kCsidlPrograms);
  EXPECT_NE(programs.find("\\Start Menu\\Programs"), std::string::npos) << programs;
  // Wine spells it "StartUp"; the file system does not mind.
  EXPECT_EQ(_stricmp(shell->FolderPath(kCsidlStartup).c_str(), (programs + "\\Startup").c_str()),
            0);
  EXPECT_NE(shell->FolderPath(kCsidlDesktop), "");
}

TEST_F(ShortcutWin, CreateWritesTheProgramsLinkAndDeleteRemovesIt) {
  for (const int folder : kFolders) {
    SCOPED_TRACE(folder);
    const std::string path = GetShortcutPath(*shell, folder, kTitle);
    ASSERT_FALSE(ShortcutExists(*shell, folder, kTitle));
    CreateShortcut(*shell, folder, "", exe, kTitle);
    ASSERT_TRUE(ShortcutExists(*shell, folder, kTitle)) << path;
    const LinkRead link = ReadLink(path);
    EXPECT_EQ(_wcsicmp(link.target.c_str(), App().exe_path.c_str()), 0) << WideToUtf8(link.target);
    EXPECT_EQ(link.working_directory, FolderOf(App().exe_path));
    EXPECT_EQ(link.description, L"Kestrion");
    EXPECT_EQ(link.arguments, L"");
    EXPECT_EQ(StoredShowCommand(path), SW_SHOW);
    DeleteShortcut(*shell, folder, kTitle);
    EXPECT_FALSE(ShortcutExists(*shell, folder, kTitle));
    EXPECT_EQ(GetFileAttributesW(Utf8ToWide(path).c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteShortcut(*shell, folder, kTitle);  // nothing there: nothing happens
  }
}

TEST_F(ShortcutWin, CreatingAgainReplacesTheLinkWithTheCurrentTarget) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::string elsewhere = WideToUtf8(system) + "\\notepad.exe";
  CreateShortcut(*shell, kCsidlDesktop, "--old", elsewhere, kTitle);
  CreateShortcut(*shell, kCsidlDesktop, "", exe, kTitle);
  const LinkRead link = ReadLink(GetShortcutPath(*shell, kCsidlDesktop, kTitle));
  EXPECT_EQ(_wcsicmp(link.target.c_str(), App().exe_path.c_str()), 0) << WideToUtf8(link.target);
  EXPECT_EQ(link.working_directory, FolderOf(App().exe_path));
  EXPECT_EQ(link.arguments, L"");
}

TEST_F(ShortcutWin, ADirectoryAtTheLinkPathIsNoLink) {
  const std::wstring path = Utf8ToWide(GetShortcutPath(*shell, kCsidlPrograms, kTitle));
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
  EXPECT_FALSE(ShortcutExists(*shell, kCsidlPrograms, kTitle));
  DeleteShortcut(*shell, kCsidlPrograms, kTitle);
  EXPECT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  RemoveDirectoryW(path.c_str());
}

TEST_F(ShortcutWin, AFolderTheShellDoesNotKnowHoldsNoLink) {
  constexpr int kNoSuchFolder = 0x00FE;
  EXPECT_EQ(shell->FolderPath(kNoSuchFolder), "");
  CreateShortcut(*shell, kNoSuchFolder, "", exe, kTitle);
  EXPECT_FALSE(ShortcutExists(*shell, kNoSuchFolder, kTitle));
  for (const int folder : kFolders) EXPECT_FALSE(ShortcutExists(*shell, folder, kTitle));
}

}  // namespace
}  // namespace kestrion
