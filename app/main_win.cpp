// kestrion.exe: the bar on the desktop and the icon in the notification area.
#include "app/library_search.h"
#include "app/program.h"
#include "bar/form_about_win.h"
#include "bar/form_main_win.h"
#include "poll/program_poll.h"
#include "settings_dialog/form_settings_win.h"
#include "ui/application_win.h"
#include "ui/forms.h"
#include "ui/single_copy_win.h"

#include <string>

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

namespace {

// The Windows program's part of the start and the end.
class WinFront final : public kestrion::ProgramFront {
 public:
  explicit WinFront(HINSTANCE instance) : instance_(instance) {}

  void ShowException(const std::string& message) override { kestrion::ShowException(message); }

  bool TakeSessionCopy() override { return kestrion::ClaimSessionCopy(); }

  void BeforeWindows() override { kestrion::InitApplication(instance_); }

  void Run() override {
    kestrion::FormMain->Show();
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  // A poll waiting on the network is abandoned, not waited for; none touches the windows now.
  void LoopEnded() override { poll_ended_ = kestrion::EndPollThread(kestrion::MainThread); }

  bool poll_ended() const { return poll_ended_; }

 private:
  HINSTANCE instance_;
  bool poll_ended_ = true;
};

}  // namespace

// The program takes nothing from its arguments.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace kestrion;
  RestrictLibrarySearch();
  // A single-threaded apartment for the reply document's COM objects.
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
  WinFront front(instance);
  RunProgram(front, FormMain, FormAbout, FormSettings);
  // Everything is saved. A poll thread still inside WinINet must not meet ExitProcess: it
  // would end the thread wherever it is and then run WinINet's and COM's detach code, which
  // may wait on a lock that thread held. The process ends here, without them.
  if (!front.poll_ended()) TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}
