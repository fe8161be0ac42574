// kestrion.exe: the bar on the desktop and the icon in the notification area.
#include "ui/application_win.h"
#include "bar/form_about_win.h"
#include "ui/forms.h"
#include "poll/program_poll.h"
#include "bar/form_main_win.h"
#include "settings/form_settings_win.h"

#include <utility>

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

namespace {

void RunMessageLoop() {
  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

// The program takes nothing from its arguments.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace kestrion;
  // A single-threaded apartment for the reply document's COM objects.
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  RunGuarded([instance] {
    InitApplication(instance);
    // Each global is set before its form's creation handler runs; a failing handler is
    // shown and start-up goes on.
    FormMain = new TFormMain();
    RunGuarded([] { FormMain->FormCreate(); });
    FormAbout = new TFormAbout();
    FormSettings = new TFormSettings();
    RunGuarded([] { FormSettings->FormCreate(); });
    FormMain->Show();
    RunMessageLoop();
  });
  // A poll waiting on the network is abandoned, not waited for; none touches the windows now.
  EndPollThread(MainThread);
  // The last created first; the bar's destruction removes the icon and saves the geometry.
  delete std::exchange(FormSettings, nullptr);
  delete std::exchange(FormAbout, nullptr);
  delete std::exchange(FormMain, nullptr);
  return 0;
}
