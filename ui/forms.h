#pragma once

namespace kestrion {

class TFormMain;
class TFormAbout;
class TFormSettings;
class TMainThread;

// The program's one instance of each window and of the poll thread. Each form's global is
// set before its creation handler runs, so the handler can already reach the form through it;
// none changes afterwards until the windows are destroyed at exit.
extern TFormMain* FormMain;
extern TFormAbout* FormAbout;
extern TFormSettings* FormSettings;
extern TMainThread* MainThread;

}  // namespace kestrion
