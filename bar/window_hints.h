#pragma once

class QWidget;

namespace kestrion {

// Asks the window manager to leave the bar out of the task bar and the pager, as a tool
// window should be. Call it once the window exists and before it is first shown; elsewhere
// than on X11 it does nothing.
void KeepOffTaskbar(QWidget* window);

}  // namespace kestrion
