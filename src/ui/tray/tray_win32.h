#pragma once
// The notification-area icon: its six pictures and the icon record kept for
// the life of the main window, owned by one object that adds, refreshes and
// removes the icon.
#include <windows.h>

// needs windows.h first
#include <shellapi.h>

#include "platform/handles_win32.h"

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

class TrayIcon {
public:
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Loads every picture from the module's resources in the classic or the
    // XP form, at the small-icon size of `dpi`; a missing one leaves its row
    // without a picture.
    void LoadIcons(HINSTANCE instance, bool xpStyle, int dpi);
    // The pictures again for a new DPI, the same row at the new size; with
    // `tell`, the icon in the notification area takes it at once. Nothing
    // when the size stays.
    void UseDpi(HINSTANCE instance, bool xpStyle, int dpi, bool tell);
    // Fills the record for the main window: id 0, message/icon/tip, row 0,
    // "Tarvik 5.0".
    void Init(HWND window);

    // NIM_ADD; logs "CreateNotifyIcon OK" or "FAILED!".
    bool Add();
    void Remove();
    // The tip and picture for the drives as they are now. busyCount: drive
    // operations in progress; blinkPhase: set by the main timer while a tray
    // is about to close by itself.
    void Update(int busyCount, int blinkPhase);

    const NOTIFYICONDATAW& Record() const { return data_; }

private:
    NOTIFYICONDATAW data_{};
    UniqueIcon icons_[kIconRows];
    int side_ = 0;
};

}  // namespace tarvik
