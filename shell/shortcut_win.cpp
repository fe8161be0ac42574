// The shortcut manager's system calls on Windows: the shell's special folders and its link
// object, and the file system.
#include "shell/shortcut.h"

#include <memory>
#include <string>
#include <type_traits>

#include "base/scoped_win.h"
#include "base/text_win.h"

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

namespace kestrion {
namespace {

struct ShellFree {
  void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

class WindowsShortcutShell final : public ShortcutShell {
 public:
  std::string FolderPath(int csidl) override {
    // The shell shows no window for these folders; the window only owns one if it ever
    // does, and when a box is clicked the active window is the settings dialog.
    ITEMIDLIST* raw_list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(GetActiveWindow(), csidl, &raw_list))) return {};
    const std::unique_ptr<ITEMIDLIST, ShellFree> list(raw_list);
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(list.get(), path)) return {};
    return WideToUtf8(path);
  }

  char Separator() const override { return '\\'; }
  std::string LinkExtension() const override { return ".lnk"; }

  bool IsDirectory(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool IsFile(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  void CreateOneDirectory(const std::string& path) override {
    CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr);
  }

  void RemoveFile(const std::string& path) override { DeleteFileW(Utf8ToWide(path).c_str()); }

  void SaveLink(const std::string& path, const ShortcutFields& fields) override {
    const ComScope com;
    if (!com.initialised()) return;
    IShellLinkW* raw_link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&raw_link)))) {
      return;
    }
    const ComPtr<IShellLinkW> link(raw_link);
    // Each field on its own; a field the shell refuses leaves the others as they are.
    link->SetPath(Utf8ToWide(fields.target).c_str());
    link->SetDescription(Utf8ToWide(fields.description).c_str());
    link->SetArguments(Utf8ToWide(fields.arguments).c_str());
    link->SetShowCmd(fields.show_command);
    link->SetWorkingDirectory(Utf8ToWide(fields.working_directory).c_str());
    IPersistFile* raw_file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file)))) {
      return;
    }
    const ComPtr<IPersistFile> file(raw_file);
    file->Save(Utf8ToWide(path).c_str(), TRUE);
  }
};

}  // namespace

// The icon is the program's own main icon, which a link to the program shows by itself.
std::unique_ptr<ShortcutShell> MakeProgramShortcutShell(const std::string& /*icon_name*/) {
  return std::make_unique<WindowsShortcutShell>();
}

}  // namespace kestrion
