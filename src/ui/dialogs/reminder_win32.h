#pragma once
// The session-end reminders on screen.
#include <windows.h>

namespace tarvik {

// Each brings `window` (the main window) to the foreground and runs its
// reminder with its own taskbar button and a countdown of `seconds`, then
// carries out what the user chose. The result: 1 the action button, 2 Cancel
// (or the reason went away), 106 the time ran out; 0 or -1 when it could not
// be shown.
// "Disk inserted!": on 1 every disk is ejected.
int ShowDiskReminder(HWND window, unsigned seconds);
// "Tray opened!": on 1, or on 106 with closeOnTimeout, every tray is closed.
int ShowTrayReminder(HWND window, unsigned seconds, bool closeOnTimeout);

}  // namespace tarvik
