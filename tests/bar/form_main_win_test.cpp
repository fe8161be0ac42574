// The bar's real window in Wine, checked through Win32; the notification-area requests are
// caught on their way to the shell.
#include "bar/form_main_win.h"

#include "bar/about.h"
#include "bar/form_about_win.h"
#include "bar/status.h"
#include "base/scoped_win.h"
#include "base/text_win.h"
#include "settings_dialog/form_settings_win.h"
#include "tests/poll/counting_poll_thread.h"
#include "tests/win_gui_test_support.h"
#include "ui/application_win.h"
#include "ui/dpi_win.h"
#include "ui/forms.h"
#include "ui/single_copy_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace kestrion {
namespace {

constexpr wchar_t kKey[] = L"Software\\Kestrion";
constexpr UINT kTrayMessage = WM_USER + 1;

void DeleteProgramKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

void StoreDword(const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_DWORD, &value, sizeof value);
}

std::optional<int> StoredDword(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

BarRect WindowBounds(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return text;
}

// The command number the menu gives the item that runs `command`.
UINT ItemId(HMENU menu, BarCommand command) {
  return GetMenuItemID(menu, static_cast<int>(BarMenuPosition(command)));
}

struct Notification {
  DWORD message;
  NOTIFYICONDATAW data;
};

// The label drawn into a bitmap: how many pixels have the given colour.
int PixelsOfColour(HWND label, COLORREF colour) {
  RECT client = {};
  GetClientRect(label, &client);
  const auto print = [label](HDC dc) {
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  };
  const std::vector<std::uint32_t> pixels = test::DrawnPixels(client.right, client.bottom, print);
  const std::uint32_t wanted =
      (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  return static_cast<int>(std::count(pixels.begin(), pixels.end(), wanted));
}

// The picture each menu item must carry, by its drawing's file name.
const std::map<BarCommand, std::string> kPictures = {
    {BarCommand::kStat, "stat"}, {BarCommand::kSettings, "settings"}, {BarCommand::kHide, "hide"},
    {BarCommand::kShow, "show"}, {BarCommand::kTop, "top"},           {BarCommand::kAbout, "about"},
    {BarCommand::kExit, "exit"},
};

void FillWithMenuBackground(HDC dc, int size) {
  const RECT all = {0, 0, size, size};
  FillRect(dc, &all, GetSysColorBrush(COLOR_MENU));
}

// An icon file drawn by the system at `size` pixels on the menu's background; empty when it
// cannot be read.
std::vector<std::uint32_t> IconOnMenu(const std::string& path, int size) {
  const auto icon = static_cast<HICON>(
      LoadImageW(nullptr, Utf8ToWide(path).c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
  if (icon == nullptr) return {};
  std::vector<std::uint32_t> pixels = test::DrawnPixels(size, size, [icon, size](HDC dc) {
    FillWithMenuBackground(dc, size);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  });
  DestroyIcon(icon);
  return pixels;
}

int Channel(std::uint32_t pixel, int c) { return static_cast<int>((pixel >> (8 * c)) & 0xFF); }
int Spread(std::uint32_t pixel) {
  return std::max({Channel(pixel, 0), Channel(pixel, 1), Channel(pixel, 2)}) -
         std::min({Channel(pixel, 0), Channel(pixel, 1), Channel(pixel, 2)});
}
bool Near(std::uint32_t a, std::uint32_t b, int by) {
  for (int c = 0; c < 3; ++c) {
    if (std::abs(Channel(a, c) - Channel(b, c)) > by) return false;
  }
  return true;
}

// The item's picture as the menu has the bar measure and draw it, in the item's present
// state, on the menu's background: its own drawing where the item is enabled, a grey one
// where not, the menu's background in its transparent corners, and a gap before the caption;
// `size` pixels square.
void ExpectMenuItemPicture(HWND bar, HMENU menu, const BarMenuItem& item, int size = 16) {
  const UINT id = ItemId(menu, item.command);
  MEASUREITEMSTRUCT measure = {};
  measure.CtlType = ODT_MENU;
  measure.itemID = id;
  SendMessageW(bar, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
  EXPECT_GE(measure.itemWidth, static_cast<UINT>(size) + 3)
      << item.caption << ": no gap before the caption";
  EXPECT_EQ(measure.itemHeight, static_cast<UINT>(size)) << item.caption;
  const bool greyed = (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
  const std::vector<std::uint32_t> shown = test::DrawnPixels(size, size, [&](HDC dc) {
    FillWithMenuBackground(dc, size);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemID = id;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = greyed ? ODS_GRAYED | ODS_DISABLED : 0;
    draw.hwndItem = reinterpret_cast<HWND>(menu);
    draw.hDC = dc;
    draw.rcItem = {0, 0, static_cast<LONG>(measure.itemWidth),
                   static_cast<LONG>(measure.itemHeight)};
    SendMessageW(bar, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
  });
  const COLORREF menu_colour = GetSysColor(COLOR_MENU);
  const std::uint32_t background =
      (GetRValue(menu_colour) << 16) | (GetGValue(menu_colour) << 8) | GetBValue(menu_colour);
  const auto count = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
  for (const std::size_t corner : {std::size_t{0}, static_cast<std::size_t>(size) - 1,
                                   count - static_cast<std::size_t>(size), count - 1}) {
    EXPECT_TRUE(Near(shown[corner], background, 2))
        << item.caption << ": corner " << corner << " is " << std::hex << shown[corner]
        << ", the menu " << background;
  }
  const std::vector<std::uint32_t> wanted =
      IconOnMenu(std::string(KESTRION_IMAGES "/ico/") + kPictures.at(item.command) + ".ico", size);
  ASSERT_EQ(wanted.size(), count) << item.caption;
  int differing = 0;
  int drawn = 0;
  int coloured = 0;
  for (std::size_t p = 0; p < count; ++p) {
    differing += Near(shown[p], wanted[p], 8) ? 0 : 1;
    drawn += Near(shown[p], background, 8) ? 0 : 1;
    coloured += Spread(shown[p]) > Spread(background) + 2 ? 1 : 0;
  }
  if (!greyed) {
    EXPECT_LT(differing, 3) << item.caption << " shows another picture";
  } else {
    EXPECT_GT(differing, 16) << item.caption << " is drawn as if enabled";
    EXPECT_EQ(coloured, 0) << item.caption << " is disabled but not grey";
    EXPECT_GT(drawn, 16) << item.caption << " is disabled and not drawn at all";
  }
}

class FormMainWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteProgramKey();
    form_ = MakeForm();
  }
  void TearDown() override {
    form_.reset();
    DeleteProgramKey();
  }

  std::unique_ptr<TFormMain> MakeForm() {
    auto form = std::make_unique<TFormMain>();
    form->SetNotifyFunction([this](DWORD message, const NOTIFYICONDATAW& data) {
      sent_.push_back({message, data});
      return TRUE;
    });
    return form;
  }

  // A fresh bar that restores what `store` puts in; the bar before it, which saves itself as
  // it goes, goes first.
  BarRect RestoredBounds(const std::function<void()>& store) {
    form_.reset();
    DeleteProgramKey();
    store();
    form_ = MakeForm();
    form_->RestoreGeometry();
    return WindowBounds(form_->handle());
  }

  std::vector<Notification> sent_;
  std::unique_ptr<TFormMain> form_;  // after sent_: destroyed first, and it still reports
};

TEST_F(FormMainWinTest, IsABlackToolWindowAboveOthersAtTheDesignPlace) {
  const HWND bar = form_->handle();
  wchar_t name[64] = {};
  GetClassNameW(bar, name, 64);
  EXPECT_STREQ(name, L"TFormMain");
  // The system adds WS_CLIPSIBLINGS to every top-level window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(bar, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
            0x80840000u);
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(bar, GWL_EXSTYLE));
  EXPECT_EQ(ex_style & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  EXPECT_EQ(WideToUtf8(Text(bar)), kAppTitle);
  EXPECT_EQ(test::AccessibleName(bar), L"Kestrion") << "what a screen reader calls the bar";
  EXPECT_EQ(GetClassLongPtrW(bar, GCLP_HBRBACKGROUND),
            reinterpret_cast<ULONG_PTR>(GetStockObject(BLACK_BRUSH)));
  EXPECT_FALSE(IsWindowVisible(bar));

  RECT client = {};
  GetClientRect(bar, &client);
  EXPECT_EQ(client.right, kBarDesignClientWidth);
  EXPECT_EQ(client.bottom, kBarDesignClientHeight);
  const BarRect outer = form_->Bounds();
  EXPECT_EQ(outer.left, kBarDesignLeft);
  EXPECT_EQ(outer.top, kBarDesignTop);

  // The label fills the client area and keeps filling it.
  const HWND label = form_->label();
  EXPECT_EQ(GetParent(label), bar);
  EXPECT_EQ(Text(label), L"LabelMain");
  form_->SetBounds({100, 100, 400, 40});
  RECT label_rect = {};
  GetClientRect(label, &label_rect);
  GetClientRect(bar, &client);
  EXPECT_EQ(label_rect.right, client.right);
  EXPECT_EQ(label_rect.bottom, client.bottom);
}

TEST_F(FormMainWinTest, ABarStoredOffEveryScreenComesOntoThePrimaryWorkArea) {
  const auto stored = [](int left, int top) {
    return [left, top] {
      StoreDword(L"Top", static_cast<DWORD>(top));
      StoreDword(L"Left", static_cast<DWORD>(left));
      StoreDword(L"Width", 200);
      StoreDword(L"Height", 20);
    };
  };
  const BarRect placed = RestoredBounds(stored(-3000, 5000));
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ASSERT_LT(work.bottom, GetSystemMetrics(SM_CYSCREEN))
      << "no taskbar (tests/support/with_display.sh)";
  EXPECT_EQ(placed, (BarRect{work.left, work.bottom - 20, 200, 20})) << "not above the taskbar";

  // Partly off the edge but visible: applied as stored (the restore's rules are the portable
  // code's; this is the registry reaching the window).
  EXPECT_EQ(RestoredBounds(stored(-150, 10)), (BarRect{-150, 10, 200, 20}));
}

TEST_F(FormMainWinTest, TheWindowHoldsItsSizeLimitsWhateverResizesIt) {
  const HWND bar = form_->handle();
  SetWindowPos(bar, nullptr, 10, 10, 5, 100, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(WindowBounds(bar), (BarRect{10, 10, 32, 48}));
  SetWindowPos(bar, nullptr, 10, 10, 1500, 2, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(WindowBounds(bar), (BarRect{10, 10, 1500, 15})) << "no maximum width";
}

TEST_F(FormMainWinTest, AStatusColoursTheTextAndChangesTheIcon) {
  const HWND label = form_->label();
  form_->ShowStatus({"Баланс: 125.40 руб.", true});
  EXPECT_EQ(Text(label), L"Баланс: 125.40 руб.");
  EXPECT_GT(PixelsOfColour(label, RGB(0, 255, 0)), 10);
  EXPECT_EQ(PixelsOfColour(label, RGB(255, 0, 0)), 0);
  const auto ok_icon = SendMessageW(form_->handle(), WM_GETICON, ICON_SMALL, 0);
  EXPECT_NE(ok_icon, 0);

  form_->ShowStatus({"Ошибка", false});
  EXPECT_GT(PixelsOfColour(label, RGB(255, 0, 0)), 10);
  EXPECT_EQ(PixelsOfColour(label, RGB(0, 255, 0)), 0);
  EXPECT_NE(SendMessageW(form_->handle(), WM_GETICON, ICON_SMALL, 0), ok_icon);
  EXPECT_NE(SendMessageW(form_->handle(), WM_GETICON, ICON_BIG, 0), 0);

  // Text as it comes: an ampersand stays, and an empty status draws nothing.
  form_->ShowStatus({"A&B", true});
  EXPECT_EQ(Text(label), L"A&B");
  // Of a megabyte of error text the bar takes only what it could ever show.
  std::string huge;
  for (int i = 0; i < (1 << 19); ++i) huge += "Ж";
  form_->ShowStatus({huge, false});
  EXPECT_EQ(WindowText(label).size(), kMaxBarChars);
  form_->ShowStatus({"", true});
  EXPECT_EQ(PixelsOfColour(label, RGB(0, 255, 0)), 0);
}

std::vector<HWND> renamed;          // the windows whose client area said that its name changed
std::vector<std::wstring> focused;  // the names of the objects that took the focus

void DispatchWaiting() {
  for (int i = 0; i < 10; ++i, Sleep(10)) {  // out of context, the news comes as messages
    MSG message = {};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

TEST_F(FormMainWinTest, AScreenReaderReadsTheStatusAndHearsEachChangeOfIt) {
  const HWINEVENTHOOK hook = SetWinEventHook(
      EVENT_OBJECT_FOCUS, EVENT_OBJECT_NAMECHANGE, nullptr,
      [](HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) CALLBACK {
        if (object != OBJID_CLIENT || child != CHILDID_SELF) return;
        if (event == EVENT_OBJECT_NAMECHANGE) renamed.push_back(window);
        if (event == EVENT_OBJECT_FOCUS) focused.push_back(test::AccessibleName(window));
      },
      GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  const HWND label = form_->label();
  std::vector<int> heard;  // after each status
  for (const char* text : {"Ваш баланс: 5 руб.", "Ваш баланс: 5 руб.", "Интернет отсутствует"}) {
    form_->ShowStatus({text, true});
    EXPECT_EQ(test::AccessibleName(label), Utf8ToWide(text));
    DispatchWaiting();
    heard.push_back(static_cast<int>(std::count(renamed.begin(), renamed.end(), label)));
  }
  EXPECT_EQ(heard, (std::vector<int>{1, 1, 2})) << "the same status at the next poll is no news";

  // A second start focuses the status, heard once each time, also when it had the focus.
  for (int start = 1; start <= 2; ++start) {
    EXPECT_TRUE(AskBarIntoView([](DWORD) {}));
    DispatchWaiting();
    EXPECT_EQ(std::count(focused.begin(), focused.end(), L"Интернет отсутствует"), start);
  }
  UnhookWinEvent(hook);
}

TEST_F(FormMainWinTest, TheShellIsToldOfTheIconItsStatusesAndItsRemoval) {
  form_->AddTrayIcon();
  ASSERT_EQ(sent_.size(), 1u);
  const NOTIFYICONDATAW& added = sent_[0].data;
  EXPECT_EQ(sent_[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(added.cbSize, sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(added.hWnd, form_->handle());
  EXPECT_EQ(added.uID, 1u);
  EXPECT_EQ(added.uFlags, 7u);
  EXPECT_EQ(added.uCallbackMessage, 1025u);
  EXPECT_NE(added.hIcon, nullptr) << "the program's icon, at the size the DPI case checks";
  EXPECT_STREQ(added.szTip, L"Kestrion");

  std::string long_text;
  for (int i = 0; i < 117; ++i) long_text += "Ж";
  form_->ShowStatus({long_text, true});
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[1].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(sent_[1].data.uFlags, 6u);
  EXPECT_EQ(sent_[1].data.uID, 1u);
  EXPECT_EQ(WideToUtf8(sent_[1].data.szTip), StatusTip(long_text));
  EXPECT_EQ(sent_[1].data.hIcon,
            reinterpret_cast<HICON>(SendMessageW(form_->handle(), WM_GETICON, ICON_SMALL, 0)));
  EXPECT_EQ(WideToUtf8(Text(form_->label())), long_text) << "the bar shows the whole text";
  // The shell's field holds 127 UTF-16 units: a tip of characters beyond the first plane is
  // cut before it is full, never in the middle of a character.
  std::string wide_text = "x";
  for (int i = 0; i < 116; ++i) wide_text += "😀";
  form_->ShowStatus({wide_text, false});
  EXPECT_EQ(std::wstring(sent_.back().data.szTip), Utf8ToWide(StatusTip(wide_text)).substr(0, 126));

  // The same status at the next poll tells the shell nothing, and a status that comes back
  // shows the very icons it showed before: pictures are loaded once, not every poll.
  const HICON ok_icon = sent_[1].data.hIcon;  // the window's small icon too, as checked above
  form_->ShowStatus({wide_text, false});
  ASSERT_EQ(sent_.size(), 3u);
  form_->ShowStatus({long_text, true});
  ASSERT_EQ(sent_.size(), 4u);
  EXPECT_EQ(sent_[3].data.hIcon, sent_[1].data.hIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(form_->handle(), WM_GETICON, ICON_SMALL, 0)),
            ok_icon);

  form_.reset();
  ASSERT_EQ(sent_.size(), 5u);
  EXPECT_EQ(sent_[4].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(sent_[4].data.uID, 1u);
}

TEST_F(FormMainWinTest, ARestartedShellGetsTheIconBackWithTheLastStatus) {
  const UINT taskbar_created = RegisterWindowMessageW(L"TaskbarCreated");
  form_->AddTrayIcon();
  form_->ShowStatus({"Баланс: 7", true});
  const NOTIFYICONDATAW last = sent_.back().data;
  SendMessageW(form_->handle(), taskbar_created, 0, 0);
  ASSERT_EQ(sent_.size(), 3u);
  EXPECT_EQ(sent_[2].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(sent_[2].data.uFlags, 7u);
  EXPECT_EQ(sent_[2].data.uCallbackMessage, 1025u);
  EXPECT_EQ(sent_[2].data.hIcon, last.hIcon);
  EXPECT_STREQ(sent_[2].data.szTip, L"Kestrion : Баланс: 7");
}

TEST_F(FormMainWinTest, EndingTheSessionSavesTheGeometryAndRemovesTheIconOnce) {
  form_->AddTrayIcon();
  form_->SetBounds({100, 50, 300, 30});
  SendMessageW(form_->handle(), WM_ENDSESSION, FALSE, 0);  // the logout was cancelled
  EXPECT_EQ(sent_.size(), 1u);
  EXPECT_FALSE(StoredDword(L"Top"));

  SendMessageW(form_->handle(), WM_ENDSESSION, TRUE, 0);
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[1].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(StoredDword(L"Top"), 50);
  EXPECT_EQ(StoredDword(L"Left"), 100);
  EXPECT_EQ(StoredDword(L"Width"), 300);
  EXPECT_EQ(StoredDword(L"Height"), 30);
  form_.reset();
  EXPECT_EQ(sent_.size(), 2u);
}

TEST_F(FormMainWinTest, DestroyingTheBarSavesWhereItStands) {
  form_->SetBounds({-20, 700, 250, 48});
  form_.reset();
  EXPECT_EQ(StoredDword(L"Top"), 700);
  EXPECT_EQ(StoredDword(L"Left"), -20);
  EXPECT_EQ(StoredDword(L"Width"), 250);
  EXPECT_EQ(StoredDword(L"Height"), 48);
}

TEST_F(FormMainWinTest, TheMenuHasItsItemsWithImagesAndFollowsTheBarsVisibility) {
  const HMENU menu = form_->menu();
  const auto& items = BarMenuItems();
  ASSERT_EQ(static_cast<std::size_t>(GetMenuItemCount(menu)), items.size());
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t caption[64] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_BITMAP;
    info.dwTypeData = caption;
    info.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info));
    const bool separator = items[static_cast<std::size_t>(i)].caption[0] == '\0';
    EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, separator) << i;
    if (separator) continue;
    const BarMenuItem& item = items[static_cast<std::size_t>(i)];
    EXPECT_EQ(WideToUtf8(caption), item.caption);
    // Drawn by the bar when the menu asks: a bitmap handed over is drawn on black by the
    // classic theme and by Wine.
    EXPECT_EQ(info.hbmpItem, HBMMENU_CALLBACK) << item.caption;
    ExpectMenuItemPicture(form_->handle(), menu, item);
  }

  const auto enabled = [menu](BarCommand command) {
    return (GetMenuState(menu, ItemId(menu, command), MF_BYCOMMAND) & MF_GRAYED) == 0;
  };
  form_->Show();
  EXPECT_TRUE(IsWindowVisible(form_->handle()));
  EXPECT_TRUE(enabled(BarCommand::kHide));
  EXPECT_FALSE(enabled(BarCommand::kShow));
  // Greyed while disabled, and back when enabled again.
  ExpectMenuItemPicture(form_->handle(), menu, items[BarMenuPosition(BarCommand::kShow)]);
  ExpectMenuItemPicture(form_->handle(), menu, items[BarMenuPosition(BarCommand::kHide)]);
  SendMessageW(form_->handle(), WM_COMMAND, ItemId(menu, BarCommand::kHide), 0);
  EXPECT_FALSE(IsWindowVisible(form_->handle()));
  EXPECT_FALSE(enabled(BarCommand::kHide));
  EXPECT_TRUE(enabled(BarCommand::kShow));
  SendMessageW(form_->handle(), WM_COMMAND, ItemId(menu, BarCommand::kShow), 0);
  EXPECT_TRUE(IsWindowVisible(form_->handle()));
  EXPECT_TRUE(enabled(BarCommand::kHide));
}

TEST_F(FormMainWinTest, TopMovesTheBarUpEveryTimeAndFlipsOnlyItsMark) {
  const HMENU menu = form_->menu();
  const UINT top = ItemId(menu, BarCommand::kTop);
  form_->SetBounds({300, 400, 200, 20});
  SendMessageW(form_->handle(), WM_COMMAND, top, 0);
  EXPECT_EQ(form_->Bounds(), (BarRect{300, 0, 200, 20}));
  EXPECT_TRUE(GetMenuState(menu, top, MF_BYCOMMAND) & MF_CHECKED);
  form_->SetBounds({300, 400, 200, 20});
  SendMessageW(form_->handle(), WM_COMMAND, top, 0);
  EXPECT_EQ(form_->Bounds(), (BarRect{300, 0, 200, 20}));
  EXPECT_FALSE(GetMenuState(menu, top, MF_BYCOMMAND) & MF_CHECKED);
}

// The menu key and Shift+F10 on the focused status come as WM_CONTEXTMENU without a point: the
// menu opens at the bar, above it at the screen's foot, and Escape closes it.
TEST_F(FormMainWinTest, TheKeyboardOpensTheMenuAtTheBarAndEscapeClosesIt) {
  form_->Show();  // at the design place
  const auto menu = [] { return FindWindowW(L"#32768", nullptr); };
  RECT opened = {};
  std::optional<bool> closed;
  const test::ModalScript script(nullptr, {[&] {
                                             GetWindowRect(menu(), &opened);
                                             keybd_event(VK_ESCAPE, 0, 0, 0);
                                             keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
                                           },
                                           [&] {
                                             closed = !IsWindowVisible(menu());
                                             EndMenu();
                                           }});
  PostMessageW(form_->label(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form_->label()), -1);
  for (int i = 0; i < 100 && !closed; ++i) DispatchWaiting();
  EXPECT_EQ(std::pair(opened.left, opened.bottom), std::pair(195L, 677L));
  EXPECT_EQ(closed, true) << "Escape";
  EXPECT_EQ(GetFocus(), form_->label());
}

TEST_F(FormMainWinTest, ALeftPressOnTheIconTogglesTheBarOtherMouseNewsChangesNothing) {
  const HWND bar = form_->handle();
  form_->Show();
  SendMessageW(bar, kTrayMessage, 1, WM_LBUTTONDOWN);
  EXPECT_FALSE(IsWindowVisible(bar));
  for (const LPARAM other : {WM_MOUSEMOVE, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MBUTTONDOWN}) {
    SendMessageW(bar, kTrayMessage, 1, other);
    EXPECT_FALSE(IsWindowVisible(bar)) << other;
  }
  form_->ShowStatus({"Баланс: 1", true});
  EXPECT_FALSE(IsWindowVisible(bar)) << "a status leaves a hidden bar hidden";
  SendMessageW(bar, kTrayMessage, 1, WM_LBUTTONDOWN);
  EXPECT_TRUE(IsWindowVisible(bar));
}

TEST_F(FormMainWinTest, TheLeftButtonDragsTheBarByTheLabelAndADoubleClickHidesIt) {
  const HWND bar = form_->handle();
  const HWND label = form_->label();
  form_->SetBounds({200, 300, 240, 23});
  form_->Show();
  SendMessageW(label, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 5));
  SendMessageW(label, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(30, 9));
  EXPECT_EQ(WindowBounds(bar), (BarRect{200, 300, 240, 23})) << "only the left button drags";

  SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
  EXPECT_EQ(GetCapture(), label);
  SendMessageW(label, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 12));
  EXPECT_EQ(WindowBounds(bar), (BarRect{220, 307, 240, 23}));
  SendMessageW(label, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, -3));  // past the edge
  EXPECT_EQ(WindowBounds(bar), (BarRect{215, 299, 240, 23}));
  SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(5, -3));
  EXPECT_EQ(GetCapture(), nullptr);
  SendMessageW(label, WM_MOUSEMOVE, 0, MAKELPARAM(50, 10));
  EXPECT_EQ(WindowBounds(bar), (BarRect{215, 299, 240, 23})) << "released: no more moving";

  SendMessageW(label, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 5));
  EXPECT_FALSE(IsWindowVisible(bar));
}

// A second start: this copy's bar is the running one.
TEST_F(FormMainWinTest, ASecondStartLetsTheRunningCopyToTheFrontAndFindsItInThisSession) {
  const HWND bar = form_->handle();
  // Windows lets only the program the user started last take the foreground, so the start
  // hands that on before it asks. Wine does not hold the foreground back from anyone, so what
  // can be seen here is the hand-over itself.
  std::vector<DWORD> allowed_while_hidden;
  EXPECT_TRUE(AskBarIntoView([&](DWORD process) {
    if (!IsWindowVisible(bar)) allowed_while_hidden.push_back(process);
  }));
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_EQ(
      std::count(allowed_while_hidden.begin(), allowed_while_hidden.end(), GetCurrentProcessId()),
      1)
      << "the bar's process was not let take the foreground before it was asked";

  // Wine has one session. A claim in the namespace that all sessions share stands for a copy
  // that the same user runs in another one (the console and Remote Desktop): it leaves this
  // session's start its own claim, which a later start here finds.
  const UniqueHandle other_session(
      CreateMutexW(nullptr, FALSE, (L"Global\\" + SessionClaimName()).c_str()));
  ASSERT_NE(other_session.get(), nullptr);
  form_->Hide();
  EXPECT_TRUE(ClaimSessionCopy()) << "a copy in another session ended this one";
  EXPECT_FALSE(IsWindowVisible(bar));
  EXPECT_FALSE(ClaimSessionCopy()) << "a second copy in this session";
  EXPECT_TRUE(IsWindowVisible(bar)) << "and it asked the running copy";
}

// Through the real timer, only made quicker here (the same timer, armed again); the program
// never changes its interval.
TEST_F(FormMainWinTest, EachTickOfTheTimerWakesThePoll) {
  test::CountingPollThread poll;
  MainThread = poll.thread();
  SetTimer(form_->handle(), 1, 50, nullptr);
  EXPECT_TRUE(poll.WaitForPolls(4, [] {
    MSG message = {};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  })) << "the first poll, then one a tick";
  MainThread = nullptr;
}

TEST_F(FormMainWinTest, ExitEndsTheMessageLoop) {
  SendMessageW(form_->handle(), WM_COMMAND, ItemId(form_->menu(), BarCommand::kExit), 0);
  MSG message = {};
  EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_TRUE(IsWindow(form_->handle())) << "the window goes with the form, after the loop";
}

// The DPI functions of Windows 8.1 and 10 are looked up in libraries that Windows 7 and 8 do
// not have. Such a library is not taken from the current folder, nor from the program's.
TEST(SystemLibrary, IsOnlyTakenFromTheSystemFolder) {
  const std::wstring name = L"kestrion_planted_test.dll";
  const std::wstring planted = Utf8ToWide(KESTRION_PLANTED_LIBRARY);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring program = path;
  const std::wstring beside = program.substr(0, program.find_last_of(L'\\') + 1) + name;
  GetTempPathW(MAX_PATH, path);
  const std::wstring folder = std::wstring(path) + L"kestrion_planted_test";
  const std::wstring in_folder = folder + L"\\" + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(planted.c_str(), in_folder.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(planted.c_str(), beside.c_str(), FALSE));
  GetCurrentDirectoryW(MAX_PATH, path);
  SetCurrentDirectoryW(folder.c_str());
  SetEnvironmentVariableW(L"KESTRION_PLANTED_LOADED", nullptr);

  EXPECT_EQ(SystemLibrary(name.c_str()), nullptr);
  EXPECT_EQ(GetEnvironmentVariableW(L"KESTRION_PLANTED_LOADED", nullptr, 0), 0u)
      << "a library planted beside the program or in the current folder was run";
  EXPECT_NE(SystemLibrary(L"msimg32.dll"), nullptr) << "a library the system has";

  SetCurrentDirectoryW(path);
  DeleteFileW(in_folder.c_str());
  DeleteFileW(beside.c_str());
  RemoveDirectoryW(folder.c_str());
}

int IconWidth(HICON icon) {
  ICONINFO info = {};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return 0;
  BITMAP mask = {};
  GetObjectW(info.hbmMask, sizeof mask, &mask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return mask.bmWidth;
}

// Everything drawn at the display's DPI: the layouts of 96 dpi scaled by DPI / 96 within a
// pixel, the icons and pictures at the DPI's sizes; then a monitor of another DPI.
TEST_F(FormMainWinTest, EveryWindowIsDrawnAtTheDisplaysDpi) {
  const int dpi = test::DisplayDpi();
  ASSERT_EQ(SystemDpi(), dpi) << "the display's DPI did not reach the program";
  ASSERT_EQ(form_->dpi(), dpi);
  const auto scaled = [dpi](int length) { return length * dpi / 96.0; };

  // The bar: its font, its first size and its limits; a place stored by a run that knew no
  // DPI (in 96-dpi pixels) is taken as it is, the size held to the limits.
  EXPECT_NEAR(test::FontOf(form_->label()).lfHeight, scaled(-kFormFontPixels), 1);
  RECT client = {};
  GetClientRect(form_->handle(), &client);
  EXPECT_NEAR(client.right, scaled(kBarDesignClientWidth), 1);
  EXPECT_NEAR(client.bottom, scaled(kBarDesignClientHeight), 1);
  SetWindowPos(form_->handle(), nullptr, 10, 10, 5, 500, SWP_NOZORDER | SWP_NOACTIVATE);
  BarRect bounds = WindowBounds(form_->handle());
  EXPECT_NEAR(bounds.width, scaled(kBarMinWidth), 1);
  EXPECT_NEAR(bounds.height, scaled(kBarMaxHeight), 1);
  const BarRect unaware = RestoredBounds([] {
    StoreDword(L"Top", 677);
    StoreDword(L"Left", 195);
    StoreDword(L"Width", 237);
    StoreDword(L"Height", 17);
  });
  EXPECT_EQ(unaware, (BarRect{195, 677, 237, std::max(17, ScaleForDpi(kBarMinHeight, dpi))}));

  // The icons' sizes on Windows 7 and 8, which have no GetSystemMetricsForDpi: the fall-back
  // gives what the newer function gives, at every DPI from this system's.
  const auto metric_for_dpi = reinterpret_cast<MetricForDpiFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
  ASSERT_NE(metric_for_dpi, nullptr);
  for (const int other_dpi : {96, 120, 144, 192}) {
    for (const int index : {SM_CXSMICON, SM_CXICON}) {
      EXPECT_EQ(SystemMetricForDpi(index, other_dpi, nullptr), metric_for_dpi(index, other_dpi))
          << "metric " << index << " at " << other_dpi << " dpi";
    }
  }

  // The notification area's icon at the small icon size, before and after a status.
  const int small_icon = ScaleForDpi(16, dpi);
  EXPECT_EQ(SystemMetricForDpi(SM_CXSMICON, dpi), small_icon);
  form_->AddTrayIcon();
  EXPECT_EQ(IconWidth(sent_.back().data.hIcon), small_icon);
  form_->ShowStatus({"Ваш баланс: 1", true});
  EXPECT_EQ(IconWidth(sent_.back().data.hIcon), small_icon);

  // The menu's pictures: the image list's 16 pixels scaled, never below the check mark.
  const HMENU menu = form_->menu();
  EXPECT_GE(ScaleForDpi(16, dpi), SystemMetricForDpi(SM_CXMENUCHECK, dpi));
  for (const BarCommand command : {BarCommand::kStat, BarCommand::kExit}) {
    ExpectMenuItemPicture(form_->handle(), menu, BarMenuItems()[BarMenuPosition(command)],
                          ScaleForDpi(16, dpi));
  }

  // The settings dialog and the about box: client areas, each control's place and font.
  const TFormSettings settings;
  GetClientRect(settings.handle(), &client);
  EXPECT_NEAR(client.right, scaled(kSettingsWidth), 1);
  EXPECT_NEAR(client.bottom, scaled(kSettingsHeight), 1);
  // Larger than designed, it is still wholly on the work area, its buttons within reach.
  RECT placed = {};
  GetWindowRect(settings.handle(), &placed);
  const RECT work = MonitorWorkArea(MonitorFromWindow(settings.handle(), MONITOR_DEFAULTTONEAREST));
  EXPECT_TRUE(placed.left >= work.left && placed.top >= work.top && placed.right <= work.right &&
              placed.bottom <= work.bottom)
      << placed.left << "," << placed.top << " " << placed.right << "," << placed.bottom;
  const ControlPlace& group = SettingsControls().back().place;
  for (const SettingsControl& control : SettingsControls()) {
    SCOPED_TRACE(control.name);
    const bool in_group = control.role != SettingsRole::kGroupBox;
    HWND window = nullptr;
    for (HWND child = GetWindow(settings.handle(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (WideToUtf8(Text(child)) == control.caption) window = child;
    }
    if (control.role == SettingsRole::kBevel) continue;  // no text to find it by
    ASSERT_NE(window, nullptr);
    const RECT place = test::PlaceIn(window, settings.handle());
    const ControlPlace& p = control.place;
    EXPECT_NEAR(place.left, scaled((in_group ? group.left : 0) + p.left), 1);
    EXPECT_NEAR(place.top, scaled((in_group ? group.top : 0) + p.top), 1);
    EXPECT_NEAR(place.right - place.left, scaled(p.width), 1);
    EXPECT_NEAR(place.bottom - place.top, scaled(p.height), 1);
    EXPECT_NEAR(test::FontOf(window).lfHeight, scaled(-kFormFontPixels), 1);
  }
  const TFormAbout about;
  GetClientRect(about.handle(), &client);
  EXPECT_NEAR(client.right, scaled(kAboutWidth), 1);
  EXPECT_NEAR(client.bottom, scaled(kAboutHeight), 1);
  const RECT picture = test::PlaceIn(about.Image1, about.handle());
  EXPECT_NEAR(picture.right, scaled(kAboutPictureWidth), 1) << "the picture fills the box";
  EXPECT_NEAR(picture.bottom, scaled(kAboutPictureHeight), 1);
  const HWND labels[] = {about.Label1, about.Label2, about.LabelWebLink, about.LabelMailTo,
                         about.Label5};
  for (std::size_t i = 0; i < std::size(labels); ++i) {
    const AboutLabel expected = AboutLabels(Maker())[i];
    SCOPED_TRACE(expected.name);
    const RECT place = test::PlaceIn(labels[i], about.handle());
    EXPECT_NEAR(place.left, scaled(expected.left), 1);
    EXPECT_NEAR(place.top, scaled(expected.top), 1);
    EXPECT_NEAR(place.bottom - place.top, scaled(13), 1);
    EXPECT_NEAR(test::FontOf(labels[i]).lfHeight, scaled(-kAboutFontPixels), 1);
  }

  // Moved onto a monitor of half as much again: the dialogs laid out there, where Windows
  // suggests; the bar where Windows suggests, in a larger font, with the limits there.
  const int next = dpi * 3 / 2;
  const auto scaled_next = [next](int length) { return length * next / 96.0; };
  for (const HWND dialog : {settings.handle(), about.handle()}) {
    RECT moved_to = {40, 30, 400, 300};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(next, next),
                 reinterpret_cast<LPARAM>(&moved_to));
    RECT outer = {};
    GetWindowRect(dialog, &outer);
    EXPECT_EQ(std::pair(outer.left, outer.top), std::pair(40L, 30L));
  }
  // (Their frames stay as Wine draws them at the display's DPI, so only what they lay out
  // themselves is looked at.)
  EXPECT_NEAR(test::PlaceIn(settings.BitBtnOk, settings.handle()).left, scaled_next(3 + 362), 1);
  EXPECT_NEAR(test::FontOf(settings.eLogin).lfHeight, scaled_next(-kFormFontPixels), 1);
  EXPECT_NEAR(test::PlaceIn(about.Label5, about.handle()).top, scaled_next(124), 1);
  EXPECT_NEAR(test::FontOf(about.Label5).lfHeight, scaled_next(-kAboutFontPixels), 1);
  RECT suggested = {300, 200, 800, 260};
  SendMessageW(form_->handle(), WM_DPICHANGED, MAKEWPARAM(next, next),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(WindowBounds(form_->handle()), (BarRect{300, 200, 500, 60}));
  EXPECT_EQ(test::FontOf(form_->label()).lfHeight, -FontPixelsForDpi(kFormFontPoints, next));
  SetWindowPos(form_->handle(), nullptr, 10, 10, 5, 5, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(WindowBounds(form_->handle()).height, ScaleForDpi(kBarMinHeight, next));
}

}  // namespace
}  // namespace kestrion
