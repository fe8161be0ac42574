// The settings dialog's real window under Wine, checked through Win32: its layout, the keys
// and buttons that end it, what it stores in the registry and the links its boxes make.
#include "settings_dialog/form_settings_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_win.h"
#include "base/text_win.h"
#include "settings_dialog/form_settings.h"
#include "shell/shortcut.h"
#include "tests/poll/counting_poll_thread.h"
#include "tests/win_gui_test_support.h"
#include "ui/application_win.h"
#include "ui/forms.h"

#include <commctrl.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

namespace kestrion {
namespace {

using namespace test;

constexpr wchar_t kKey[] = L"Software\\Kestrion";

void ExpectPlace(HWND window, HWND in, LONG left, LONG top, LONG width, LONG height) {
  const RECT place = PlaceIn(window, in);
  EXPECT_EQ(place.left, left) << WideToUtf8(Text(window));
  EXPECT_EQ(place.top, top) << WideToUtf8(Text(window));
  EXPECT_EQ(place.right - place.left, width) << WideToUtf8(Text(window));
  EXPECT_EQ(place.bottom - place.top, height) << WideToUtf8(Text(window));
}

HWND ChildWithText(HWND parent, const std::wstring& text) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (Text(child) == text) return child;
  }
  return nullptr;
}

std::wstring Stored(const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return L"(absent)";
  }
  return value;
}

void Store(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void StoreText(const wchar_t* name, const std::wstring& text) {
  Store(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring LinkTarget(const std::string& path) {
  wchar_t target[MAX_PATH] = {};
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return target;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(Utf8ToWide(path).c_str(), STGM_READ))) {
      link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    }
    file->Release();
  }
  link->Release();
  return target;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void Key(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

LONG_PTR Style(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }

class SettingsDialogWin : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    FormSettings = &dialog;
  }
  void TearDown() override {
    FormSettings = nullptr;
    Clean();
  }
  void Clean() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    for (const ShortcutBox& box : ShortcutBoxes()) DeleteShortcut(*shell, box.csidl, "Kestrion");
  }

  int ShowModalWith(std::vector<std::function<void()>> steps) {
    const ModalScript script(dialog.handle(), std::move(steps));
    const int result = dialog.ShowModal();
    EXPECT_FALSE(script.timed_out()) << "the dialog did not close by itself";
    EXPECT_FALSE(IsWindowVisible(dialog.handle()));
    return result;
  }

  bool Ticked(std::size_t box) const {
    return SendMessageW(dialog.boxes[box], BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  std::unique_ptr<ShortcutShell> shell = MakeProgramShortcutShell("");
  TFormSettings dialog;
};

TEST_F(SettingsDialogWin, IsAFixedDialogWithTheControlsWhereDesigned) {
  HWND window = dialog.handle();
  EXPECT_EQ(ClassOf(window), L"TFormSettings");
  EXPECT_EQ(WideToUtf8(Text(window)), kSettingsCaption);
  EXPECT_FALSE(IsWindowVisible(window));
  const LONG_PTR style = Style(window);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  RECT client = {};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, kSettingsWidth);
  EXPECT_EQ(client.bottom, kSettingsHeight);
  RECT outer = {};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, kSettingsLeft);
  EXPECT_EQ(outer.top, kSettingsTop);

  // Each control found by its text: the edits still hold their design-time texts.
  HWND group = dialog.GroupBox1;
  EXPECT_EQ(Style(group) & BS_TYPEMASK, BS_GROUPBOX);
  ControlPlace bevel_place = {};
  for (const SettingsControl& control : SettingsControls()) {
    SCOPED_TRACE(control.name);
    const bool is_group = control.role == SettingsRole::kGroupBox;
    const ControlPlace& p = control.place;
    if (control.role == SettingsRole::kBevel) {  // an etched line without a text: see below
      bevel_place = p;
      continue;
    }
    ExpectPlace(ChildWithText(window, Utf8ToWide(control.caption)), is_group ? window : group,
                p.left, p.top, p.width, p.height);
  }
  EXPECT_EQ(ChildWithText(window, L"1"), dialog.eLogin);
  EXPECT_EQ(SendMessageW(dialog.ePswd, EM_GETPASSWORDCHAR, 0, 0), L'*');
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Text(dialog.boxes[i]), Utf8ToWide(ShortcutBoxes()[i].caption));
    EXPECT_EQ(Style(dialog.boxes[i]) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_FALSE(Ticked(i));
  }
  EXPECT_EQ(Style(dialog.BitBtnOk) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(LOWORD(SendMessageW(window, DM_GETDEFID, 0, 0)), GetDlgCtrlID(dialog.BitBtnOk));
  EXPECT_NE(SendMessageW(dialog.BitBtnOk, BM_GETIMAGE, IMAGE_ICON, 0), 0);
  EXPECT_NE(SendMessageW(dialog.BitBtnCancel, BM_GETIMAGE, IMAGE_ICON, 0), 0);

  // The bevel's line, and the font all the texts in the group box share.
  HWND bevel = nullptr;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == L"Static" && (Style(child) & SS_TYPEMASK) == SS_ETCHEDHORZ) {
      bevel = child;
      continue;
    }
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(WideToUtf8(font.lfFaceName), kFormFontFace) << WideToUtf8(Text(child));
    EXPECT_EQ(font.lfHeight, -kFormFontPixels);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
  }
  ASSERT_NE(bevel, nullptr);
  const RECT line = PlaceIn(bevel, group);
  EXPECT_EQ(line.left, bevel_place.left);
  EXPECT_EQ(line.top, bevel_place.top);
}

// Every text whole at the display's DPI (tests/app/dpi_win_test.sh runs this case at 120, 144
// and 192 dpi too), by what the system's own controls say they need: each
// control at least that wide, all within the dialog.
TEST_F(SettingsDialogWin, EveryTextFitsItsControlAtTheDisplaysDpi) {
  HWND window = dialog.handle();
  ASSERT_EQ(dialog.dpi(), DisplayDpi());
  RECT client = {};
  GetClientRect(window, &client);
  EXPECT_GE(client.right, ScaleForDpi(kSettingsWidth, DisplayDpi()));
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string text = WideToUtf8(Text(child));
    const RECT place = PlaceIn(child, window);
    EXPECT_TRUE(place.left >= 0 && place.right <= client.right && place.bottom <= client.bottom)
        << text;
    const LONG_PTR type = Style(child) & BS_TYPEMASK;
    if (ClassOf(child) == L"Button" && type == BS_GROUPBOX) continue;
    if (ClassOf(child) == L"Static" && (Style(child) & SS_TYPEMASK) == SS_ETCHEDHORZ) continue;
    SIZE needs = {};
    if (ClassOf(child) == L"Button") {
      SendMessageW(child, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&needs));
    } else if (ClassOf(child) == L"Static") {
      const WindowDc dc(child);
      const ScopedSelectObject font(dc.get(),
                                    reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
      RECT line = {};
      DrawTextW(dc.get(), Text(child).c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE);
      needs.cx = line.right;
    }
    EXPECT_GE(place.right - place.left, needs.cx) << text << " is cut";
  }
}

TEST_F(SettingsDialogWin, TabRunsFromTheLoginToCancelAndAScreenReaderNamesEachEdit) {
  const HWND order[] = {dialog.eLogin,   dialog.ePswd,    dialog.boxes[0],     dialog.boxes[1],
                        dialog.boxes[2], dialog.BitBtnOk, dialog.BitBtnCancel, dialog.eLogin};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    EXPECT_EQ(GetNextDlgTabItem(dialog.handle(), order[i], FALSE), order[i + 1]) << i;
  }
  // By its own label, not by the one made last before it.
  EXPECT_EQ(AccessibleName(dialog.eLogin), L"PIN1");
  EXPECT_EQ(AccessibleName(dialog.ePswd), L"PIN2");
}

TEST_F(SettingsDialogWin, FormCreateFillsTheEditsAndWritesExistingLinksAgain) {
  StoreText(L"login", L" 12345");
  StoreText(L"pswd", L"secret");
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  CreateShortcut(*shell, kCsidlDesktop, "", WideToUtf8(system) + "\\notepad.exe", "Kestrion");

  dialog.FormCreate();
  EXPECT_EQ(Text(dialog.eLogin), L" 12345");
  EXPECT_EQ(Text(dialog.ePswd), L"secret");
  EXPECT_EQ(dialog.settings().record().Login, " 12345");
  EXPECT_FALSE(Ticked(0));
  EXPECT_TRUE(Ticked(1));
  EXPECT_FALSE(Ticked(2));
  EXPECT_EQ(LinkTarget(GetShortcutPath(*shell, kCsidlDesktop, "Kestrion")), App().exe_path)
      << "written again, pointing at this program";
  EXPECT_FALSE(ShortcutExists(*shell, kCsidlStartup, "Kestrion"));
  EXPECT_FALSE(ShortcutExists(*shell, kCsidlPrograms, "Kestrion"));
}

TEST_F(SettingsDialogWin, AStoredValueOfTheWrongTypeStopsFormCreate) {
  const DWORD number = 5;
  Store(L"login", REG_DWORD, &number, sizeof number);
  CreateShortcut(*shell, kCsidlDesktop, "", WideToUtf8(App().exe_path), "Kestrion");
  EXPECT_ANY_THROW(dialog.FormCreate());
  EXPECT_EQ(Text(dialog.eLogin), L"1");
  EXPECT_EQ(Text(dialog.ePswd), L"123");
  EXPECT_FALSE(Ticked(1));
}

TEST_F(SettingsDialogWin, OkStoresTrimmedTextsKeepsTheEditsAndWakesThePoll) {
  test::CountingPollThread poll;
  MainThread = poll.thread();

  EXPECT_EQ(ShowModalWith({[&] {
              SetWindowTextW(dialog.eLogin, L"  user 1\t ");
              SetWindowTextW(dialog.ePswd, L" p w ");
              Click(dialog.BitBtnOk);
            }}),
            TFormSettings::kModalOk);
  EXPECT_EQ(Stored(L"login"), L"user 1");
  EXPECT_EQ(Stored(L"pswd"), L"p w");
  EXPECT_EQ(Text(dialog.eLogin), L"  user 1\t ");
  poll.WaitForPolls(2);
  EXPECT_EQ(poll.polls(), 2) << "the first at start, the second from OK";
  MainThread = nullptr;
}

// The key made unwritable for everyone, as a key owned by an administrator would be; its
// owner may still put the access back, so the test can clean up.
class UnwritableKey {
 public:
  UnwritableKey() {
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                    nullptr);
    SetDacl(L"D:(D;;KA;;;WD)");
  }
  ~UnwritableKey() {
    SetDacl(L"D:(A;;KA;;;WD)");
    RegCloseKey(key_);
  }
  UnwritableKey(const UnwritableKey&) = delete;
  UnwritableKey& operator=(const UnwritableKey&) = delete;

 private:
  void SetDacl(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
  }
  HKEY key_ = nullptr;
};

TEST_F(SettingsDialogWin, AFailedSaveSaysSoOnceAndTheDialogClosesAllTheSame) {
  const UnwritableKey key;
  {
    HKEY probe = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &probe) == ERROR_SUCCESS) {
      RegCloseKey(probe);
      GTEST_SKIP() << "this registry grants what the key's access list denies";
    }
  }
  int boxes_shown = 0;
  std::wstring text, caption;
  bool icon = true;
  POINT centre = {};
  EXPECT_EQ(
      ShowModalWith({[&] { Click(dialog.BitBtnOk); },
                     [&] {
                       HWND box = MessageBoxOfThisThread();
                       if (box == nullptr) return;
                       ++boxes_shown;
                       text = Text(GetDlgItem(box, 0xFFFF));
                       caption = Text(box);
                       icon = ShowsAnIcon(box);
                       RECT place = {};
                       GetWindowRect(box, &place);
                       centre = {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
                       PostMessageW(box, WM_COMMAND, IDOK, 0);
                     }}),
      TFormSettings::kModalOk);
  EXPECT_EQ(boxes_shown, 1);
  EXPECT_EQ(text, L"ошибка сохранения параметров");
  EXPECT_EQ(caption, L"Kestrion");
  EXPECT_FALSE(icon);
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR(centre.x, (work.left + work.right) / 2, 2) << "centred on the screen";
  EXPECT_NEAR(centre.y, (work.top + work.bottom) / 2, 2);
}

TEST_F(SettingsDialogWin, EnterInThePasswordEditActsAsOk) {
  EXPECT_EQ(ShowModalWith({[&] {
              SetWindowTextW(dialog.ePswd, L"secret");
              SetFocus(dialog.ePswd);
              Key(dialog.ePswd, VK_RETURN);
            }}),
            TFormSettings::kModalOk);
  EXPECT_EQ(Stored(L"pswd"), L"secret");
}

TEST_F(SettingsDialogWin, EscapeIsBoundToNothing) {
  bool shown_after_escape = false;
  EXPECT_EQ(ShowModalWith({[&] { Key(dialog.eLogin, VK_ESCAPE); },
                           [&] {
                             shown_after_escape = IsWindowVisible(dialog.handle()) != FALSE;
                             Click(dialog.BitBtnCancel);
                           }}),
            TFormSettings::kModalCancel);
  EXPECT_TRUE(shown_after_escape);
}

TEST_F(SettingsDialogWin, CancelAndTheCloseBoxStoreNothingAndTheTextsStay) {
  StoreText(L"login", L"old");
  dialog.FormCreate();
  EXPECT_EQ(ShowModalWith({[&] {
              SetWindowTextW(dialog.eLogin, L"new");
              Click(dialog.BitBtnCancel);
            }}),
            TFormSettings::kModalCancel);
  EXPECT_EQ(ShowModalWith({[&] { PostMessageW(dialog.handle(), WM_CLOSE, 0, 0); }}),
            TFormSettings::kModalCancel);
  EXPECT_EQ(ShowModalWith({[&] {
              PostMessageW(dialog.handle(), WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4
            }}),
            TFormSettings::kModalCancel);
  EXPECT_EQ(Stored(L"login"), L"old");
  EXPECT_EQ(Text(dialog.eLogin), L"new");
}

TEST_F(SettingsDialogWin, ShowingDisablesTheProgramsOtherWindowsUntilItCloses) {
  HWND other = CreateWindowExW(0, L"STATIC", L"bar", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr,
                               nullptr, nullptr, nullptr);
  bool enabled_meanwhile = true;
  ShowModalWith({[&] {
    enabled_meanwhile = IsWindowEnabled(other) != FALSE;
    Click(dialog.BitBtnCancel);
  }});
  EXPECT_FALSE(enabled_meanwhile);
  EXPECT_TRUE(IsWindowEnabled(other));
  DestroyWindow(other);
}

TEST_F(SettingsDialogWin, BoxesMakeAndRemoveLinksAtOnceWhateverCancelDoes) {
  dialog.FormCreate();
  bool made = false;
  ShowModalWith({[&] { Click(dialog.boxes[0]); },
                 [&] {
                   made = ShortcutExists(*shell, kCsidlStartup, "Kestrion");
                   Click(dialog.boxes[2]);
                 },
                 [&] { Click(dialog.BitBtnCancel); }});
  EXPECT_TRUE(made);
  EXPECT_TRUE(ShortcutExists(*shell, kCsidlStartup, "Kestrion"));
  EXPECT_TRUE(ShortcutExists(*shell, kCsidlPrograms, "Kestrion"));
  EXPECT_FALSE(ShortcutExists(*shell, kCsidlDesktop, "Kestrion"));

  ShowModalWith({[&] { Click(dialog.boxes[0]); }, [&] { Click(dialog.BitBtnCancel); }});
  EXPECT_FALSE(Ticked(0));
  EXPECT_FALSE(ShortcutExists(*shell, kCsidlStartup, "Kestrion"));
  EXPECT_TRUE(ShortcutExists(*shell, kCsidlPrograms, "Kestrion"));
}

}  // namespace
}  // namespace kestrion
