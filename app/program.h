#pragma once

#include <string>
#include <utility>

#include "base/exception_display.h"

namespace kestrion {

// What the desktop program's start and end need of its platform, in the shape each front
// end fills in.
class ProgramFront {
 public:
  virtual ~ProgramFront() = default;
  // The default exception display.
  virtual void ShowException(const std::string& message) = 0;
  // Before anything else: true when this start is the session's one copy. Otherwise the
  // running copy has been asked to bring its bar into view, and this start ends.
  virtual bool TakeSessionCopy() { return true; }
  // Before the first window is made.
  virtual void BeforeWindows() {}
  // The windows are made: shows the bar and runs the message loop until the program ends.
  virtual void Run() = 0;
  // The loop has ended, the windows still exist: the poll thread lets go of them.
  virtual void LoopEnded() = 0;
};

// The desktop program from start to end, for the session's one copy. The three windows are made in
// order: the bar, the about box, the settings dialog; each global is set before its form's creation
// handler runs, so the handler can already reach the form through it, and a failing handler is
// shown and start-up goes on. At the end the last made goes first, its global cleared before it is
// destroyed; the bar's destruction removes the icon and saves the geometry.
template <class MainForm, class AboutForm, class SettingsForm>
void RunProgram(ProgramFront& front, MainForm*& main_form, AboutForm*& about_form,
                SettingsForm*& settings_form) {
  if (!front.TakeSessionCopy()) return;
  const auto show = [&front](const std::string& message) { front.ShowException(message); };
  RunGuarded(
      [&] {
        front.BeforeWindows();
        main_form = new MainForm();
        RunGuarded([&] { main_form->FormCreate(); }, show);
        about_form = new AboutForm();
        settings_form = new SettingsForm();
        RunGuarded([&] { settings_form->FormCreate(); }, show);
        front.Run();
      },
      show);
  front.LoopEnded();
  delete std::exchange(settings_form, nullptr);
  delete std::exchange(about_form, nullptr);
  delete std::exchange(main_form, nullptr);
}

}  // namespace kestrion
