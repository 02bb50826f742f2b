#pragma once
// The eject password dialogs: "New password" (typed twice) and "Enter
// password" (checked against the stored hash).
#include <windows.h>

namespace tarvik {

// Runs the password dialog owned by `parent`. capacity 0: check mode, 1 when
// the typed password matches `data`. Otherwise set mode: on OK `data` (of
// `capacity` bytes) holds the new stored form, or is empty when the password
// was removed; 1 on OK. 0 whenever nothing changed or was proven.
int AskPassword(HWND parent, char* data, int capacity);

// The check asked from the main window (before a protected eject, before
// Reset configuration): a dialog with its own taskbar button. 1 when proven.
int ConfirmPassword(HWND window, const char* data);

}  // namespace tarvik
