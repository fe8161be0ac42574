#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "resources/image_list.h"
#include "ui/dpi.h"

namespace kestrion {

// The application object of the Windows program: its title, main icon, executable path and
// its own hidden window, which owns the about box's shell calls and carries the poll thread's
// hand-overs to the user-interface thread.
struct Application {
  HINSTANCE instance = nullptr;
  HWND window = nullptr;             // class "TApplication", never shown
  std::wstring title = L"Kestrion";  // the caption of every message box
  HICON main_icon = nullptr;         // MAINICON
  std::wstring exe_path;             // the shortcut target
};

Application& App();

// Makes the application object: declares the process aware of each monitor's DPI, registers
// its window class, creates the hidden window, loads the main icon. Call once, on the
// user-interface thread, before any form is made.
void InitApplication(HINSTANCE instance);

// Queues `work` to run on the user-interface thread and returns at once: a message posted to
// the application window, served by whichever message loop runs (a dialog's too). False when
// it could not be posted.
bool PostToUiThread(std::function<void()> work);

// The default exception display: MessageBoxW owned by the active window (else the
// application window), text by the full-stop rule, caption the title, MB_OK | MB_ICONSTOP.
void ShowException(const std::string& message);

// Runs a handler; whatever escapes it goes to the default exception display.
void RunGuarded(const std::function<void()>& handler);

// A picture of the bar's image list, or another icon resource, at `size` pixels.
HICON LoadImageListIcon(Image image, int size = 16);
HICON LoadResourceIcon(int id, int size = 16);

// A menu picture of `size` pixels from an icon: a 32-bit DIB with premultiplied alpha;
// nullptr for no icon. `greyed`: the picture of a disabled item, grey and fainter. The caller
// owns it.
HBITMAP MenuPicture(HICON icon, int size, bool greyed = false);

// Draws a MenuPicture with its transparency at (x, y) of `dc`: what a menu itself does with
// such a picture only on some themes (the classic one and Wine draw it on black).
void DrawMenuPicture(HDC dc, int x, int y, HBITMAP picture);

// Registers the window class of one of the program's dialogs: the main icon, the arrow, the
// button face behind the controls. `extra` bytes per window for the class's procedure.
void RegisterFormClass(const wchar_t* class_name, WNDPROC procedure, int extra = 0);

// The modal showing both dialogs share: the dialog is owned by the window it was opened from
// (the active one) while shown, the thread's other visible windows are disabled, the
// dialog is shown and its messages go through the dialog manager (Tab, Enter, accelerators)
// until `closed` says so; then the other windows come back and the dialog is hidden, never
// destroyed. A WM_QUIT that arrives meanwhile ends the showing and is posted again for the
// program's own loop.
void ShowModalWindow(HWND dialog, const std::function<bool()>& closed);

// OpenAddress on behalf of `owner`: whatever the shell asks or reports about it stands over
// that window. OpenAddress itself speaks for the application's own window.
void OpenAddressFor(HWND owner, const std::string& address);

// The windows' font (kFormFontFace), bold or not, at `dpi`; made once a DPI, never freed.
HFONT SansSerifFont(bool bold, int dpi = kDesignDpi);

// The size in pixels of one line of `text` in `font`, as `window`'s device context measures it.
SIZE TextExtent(HWND window, HFONT font, const std::wstring& text);

}  // namespace kestrion
