// The about box's real window under Wine, checked through Win32.
#include "bar/form_about_win.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bar/about.h"
#include "bar/form_main_win.h"
#include "base/text_win.h"
#include "tests/win_gui_test_support.h"
#include "ui/application_win.h"
#include "ui/forms.h"

namespace kestrion {
namespace {

using namespace test;

void PressShift(bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
}

void DoubleClick(HWND window) {
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  PostMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Runs steps inside the about box's modal loop, one per turn of a thread timer (which comes
// only when the loop has nothing else to do); closes the box a while after the last step so
// that a fault fails the test instead of hanging it.
class AboutBoxWin : public ::testing::Test {
 protected:
  void ShowModalWith(std::vector<std::function<void()>> steps) {
    const ModalScript script(about.handle(), std::move(steps));
    about.ShowModal();
    EXPECT_FALSE(script.timed_out()) << "the about box did not close by itself";
    EXPECT_FALSE(IsWindowVisible(about.handle()));
  }

  TFormAbout about;
};

TEST_F(AboutBoxWin, IsAFixedBoxWithThePictureAndTheContactRows) {
  HWND window = about.handle();
  EXPECT_EQ(ClassOf(window), L"TFormAbout");
  EXPECT_EQ(WideToUtf8(Text(window)), kAboutCaption);
  EXPECT_FALSE(IsWindowVisible(window));
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  RECT client = {};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, kAboutWidth);
  EXPECT_EQ(client.bottom, kAboutHeight);

  const RECT picture = PlaceIn(about.Image1, window);
  EXPECT_EQ(picture.left, 0);
  EXPECT_EQ(picture.top, 0);
  EXPECT_EQ(picture.right, kAboutPictureWidth) << "the bitmap's own size, clipped by the box";
  EXPECT_EQ(picture.bottom, kAboutPictureHeight);
  EXPECT_NE(SendMessageW(about.Image1, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
  EXPECT_EQ(GetWindow(about.Image1, GW_HWNDNEXT), nullptr) << "beneath every label";

  const std::array<AboutLabel, 5> labels = AboutLabels(Maker());
  const HWND controls[] = {about.Label1, about.Label2, about.LabelWebLink, about.LabelMailTo,
                           about.Label5};
  EXPECT_EQ(Text(about.LabelWebLink), Utf8ToWide(Maker().email));
  EXPECT_EQ(Text(about.LabelMailTo), Utf8ToWide(Maker().web));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const AboutLabel& expected = labels[i];
    const HWND label = controls[i];
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(Text(label), Utf8ToWide(expected.text));
    const RECT place = PlaceIn(label, window);
    EXPECT_EQ(place.left, expected.left);
    EXPECT_EQ(place.top, expected.top);
    EXPECT_EQ(place.bottom - place.top, 13);
    EXPECT_GT(place.right - place.left, 0);
    const LOGFONTW font = FontOf(label);
    EXPECT_EQ(WideToUtf8(font.lfFaceName), kAboutFontFace);
    EXPECT_EQ(font.lfHeight, -kAboutFontPixels);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfUnderline != 0, expected.link);
  }
}

TEST_F(AboutBoxWin, LabelsAreBlueOnBlackAndTheLinksShowAHand) {
  HDC dc = CreateCompatibleDC(nullptr);
  const LRESULT brush =
      SendMessageW(about.handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(about.Label5));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetTextColor(dc), kAboutTextColour);
  EXPECT_EQ(GetBkColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  DeleteDC(dc);

  EXPECT_TRUE(SendMessageW(about.handle(), WM_SETCURSOR,
                           reinterpret_cast<WPARAM>(about.LabelMailTo),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  EXPECT_FALSE(SendMessageW(about.handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(about.Label1),
                            MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
}

TEST_F(AboutBoxWin, ShowsCentredOverTheBarYetOnTheScreen) {
  auto bar = std::make_unique<TFormMain>();
  FormMain = bar.get();
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);

  bar->SetBounds({300, 300, 235, 19});
  bar->Show();
  bool shown = false;
  HWND at_bar_centre = nullptr;
  // Escape is no way out of the about box; the close box is.
  ShowModalWith({[&] { PostMessageW(about.handle(), WM_KEYDOWN, VK_ESCAPE, 1); },
                 [&] {
                   shown = IsWindowVisible(about.handle()) != FALSE;
                   at_bar_centre = GetAncestor(WindowFromPoint({300 + 117, 300 + 9}), GA_ROOT);
                   PostMessageW(about.handle(), WM_CLOSE, 0, 0);
                 }});
  EXPECT_TRUE(shown);
  EXPECT_EQ(at_bar_centre, about.handle()) << "above the topmost bar it was opened from";
  RECT box = {};
  GetWindowRect(about.handle(), &box);
  EXPECT_NEAR((box.left + box.right) / 2, 300 + 235 / 2, 1);
  EXPECT_NEAR((box.top + box.bottom) / 2, 300 + 19 / 2, 1);

  // At the bottom left corner of the screen the box would hang off it. The same box again.
  const HWND first = about.handle();
  bar->SetBounds({work.left, work.bottom - 19, 235, 19});
  ShowModalWith({[&] { PostMessageW(about.handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }});
  GetWindowRect(about.handle(), &box);
  EXPECT_EQ(box.left, work.left);
  EXPECT_EQ(box.bottom, work.bottom);
  EXPECT_EQ(about.handle(), first);
  FormMain = nullptr;
  bar.reset();  // which stores its geometry
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kestrion");
}

TEST_F(AboutBoxWin, OnlyAShiftDoubleClickOnTheBottomLineGreets) {
  std::vector<std::wstring> greetings;
  std::wstring caption;
  bool information = false;
  const auto dismiss = [&] {
    HWND box = MessageBoxOfThisThread();
    if (box == nullptr) return;
    greetings.push_back(Text(GetDlgItem(box, 0xFFFF)));
    caption = Text(box);
    information = ShowsAnIcon(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  };
  ShowModalWith({
      [&] {
        GetAsyncKeyState(VK_SHIFT);  // forgets an earlier press
        DoubleClick(about.Label5);
        PostMessageW(about.Label1, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
      },
      dismiss,
      [&] {
        PressShift(true);
        PostMessageW(about.Label1, WM_LBUTTONDBLCLK, MK_LBUTTON | MK_SHIFT, MAKELPARAM(2, 2));
        PostMessageW(about.Label5, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(2, 2));
        PostMessageW(about.Label5, WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(2, 2));
      },
      dismiss,
      [&] { DoubleClick(about.Label5); },
      dismiss,
      [&] {
        PressShift(false);
        EXPECT_TRUE(IsWindowVisible(about.handle())) << "the greeting leaves the box open";
        PostMessageW(about.handle(), WM_CLOSE, 0, 0);
      },
  });
  PressShift(false);
  ASSERT_EQ(greetings.size(), 1u) << "only a Shift double-click on the bottom line";
  EXPECT_EQ(greetings[0], L"Превед! ;)");
  EXPECT_NE(caption, L"") << "the system's own caption";
  EXPECT_TRUE(information);
}

}  // namespace
}  // namespace kestrion
