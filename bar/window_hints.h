#pragma once

#include <optional>

#include "bar/form_main.h"

class QWidget;

namespace kestrion {

// Asks the window manager to keep the bar as a panel: out of the task bar and the pager, as a
// tool window should be, and on every workspace (sticky, desktop 0xFFFFFFFF). Call it before
// each showing (it makes the native window if need be); elsewhere than on X11 it does nothing.
// Managers read "every workspace" from different requests: i3 from the desktop or the sticky
// state, bspwm from the sticky state alone, openbox and icewm from the desktop or the message
// once shown (openbox reads no sticky state), KWin from that message alone.
void AskPanelStates(QWidget* window);

// The same "every workspace" asked again of a manager that has taken the shown bar, as the
// managers' convention wants it for a mapped window: KWin puts a window that Qt marks as
// transient for its own leader on the current desktop only, whatever it asked for before.
// i3 ignores this message for a window that floats already, as the bar does.
void AskAllWorkspacesShown(const QWidget* window);

// Where the X server shows a window now, in Qt's coordinates: its own rectangle on the root
// window, the frame a window manager put around it (`_NET_FRAME_EXTENTS` where the manager
// sets them, else the window the manager put it in), and whether it is on the screen. Asked
// of the server, not of what Qt last heard. Nothing elsewhere than on X11, or before the
// window exists.
struct ServerPlace {
  BarRect window;
  FrameExtents frame;
  bool viewable = false;
};
std::optional<ServerPlace> PlaceOnServer(const QWidget* window);

// Asks the server (and so the window manager) for the window's own rectangle. Qt leaves out
// a move to where it believes the window already is, which a manager that has put it elsewhere
// needs all the same. Nothing elsewhere than on X11.
void RequestPlaceOnServer(const QWidget* window, const BarRect& bounds);

}  // namespace kestrion
