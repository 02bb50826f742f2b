#pragma once
// The hidden main window: all work of the running instance happens in its
// procedure.
#include <windows.h>

namespace tarvik {

extern const char kWindowClassName[];  // "Tarvik": what a second instance looks for
extern UINT TaskbarCreatedMessage;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Loads the settings, chooses the transport, (re)builds or frees the drive
// list, restarts the main timer and the hot keys. build = 0 frees the list.
void DrivesInit(HWND window, int build);

}  // namespace tarvik
