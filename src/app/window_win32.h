#pragma once
// The hidden main window: all work of the running instance happens in its
// procedure.
#include <windows.h>

namespace tarvik {

extern const char kWindowClassName[];  // "Tarvik": what a second instance looks for
extern UINT TaskbarCreatedMessage;
extern int StartHidden;  // "/hide": the window comes up without its icon

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Frees what the window's program held, once its message loop has ended.
void ReleaseMainWindow();

}  // namespace tarvik
