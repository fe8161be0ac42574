// kestrion.exe: the bar on the desktop and the icon in the notification area.
#include "app/application_win.h"
#include "app/form_about_win.h"
#include "app/forms.h"
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
  // The last created first; the bar's destruction removes the icon and saves the geometry.
  // The poll thread is left as it is: no poll runs once the loop has ended, and it ends with
  // the process.
  delete std::exchange(FormSettings, nullptr);
  delete std::exchange(FormAbout, nullptr);
  delete std::exchange(FormMain, nullptr);
  return 0;
}
