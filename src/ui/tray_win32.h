#pragma once
// The notification-area icon: the six pictures, the icon record kept for the
// life of the process, and adding, refreshing and removing it.
#include <windows.h>

// needs windows.h first
#include <shellapi.h>

namespace tarvik {

enum IconRow : int {
    kIconNormal = 0,
    kIconTrayOpen = 1,
    kIconDiskInside = 2,
    kIconNoDrives = 3,
    kIconWait = 4,
    kIconError = 5,
    kIconRows = 6,
};

struct IconTableRow {
    HICON icon;
    const char* classic;
    const char* xp;
};

extern IconTableRow IconTable[kIconRows];
extern NOTIFYICONDATAW TrayIconData;

// Loads every row from the module's resources in the classic or the XP form.
void LoadIconTable(HINSTANCE instance, bool xpStyle);

// Fills TrayIconData for the main window: id 0, message/icon/tip, row 0, "Tarvik 5.0".
void InitTrayIconData(HWND window);

BOOL UiShellNotifyIcon(DWORD message, NOTIFYICONDATAW* data);
BOOL CreateNotifyIcon();
// busyCount: drive operations in progress; blinkPhase: set by the main timer
// while a tray is about to close by itself.
void TrayUpdate(int busyCount, int blinkPhase);

}  // namespace tarvik
