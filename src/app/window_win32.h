#pragma once
// The hidden main window: all work of the running instance happens in its
// procedure.
#include <windows.h>

namespace tarvik {

// Class and title of the main window: what a second instance (and tarvikctl.exe)
// looks for.
inline constexpr char kWindowClassName[] = "Tarvik";
extern UINT TaskbarCreatedMessage;
// How the main window comes up, decided before it is created.
struct MainWindowStart {
    int hidden = 0;        // "/hide": without its icon
    bool xpIcons = false;  // the XP pictures (a newer shell on a true-colour screen)
};
extern MainWindowStart StartOptions;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Frees what the window's program held, once its message loop has ended.
void ReleaseMainWindow();

}  // namespace tarvik
