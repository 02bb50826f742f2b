#pragma once
// What the notification-area icon shows: which of the six pictures, and the
// tip that lists every drive with its speed and what is in it. Computed from
// the drive records alone, so the rules are tested without a shell.
#include <string>

#include "drive/drive.h"

namespace tarvik {

constexpr unsigned kTrayTipMaxChars = 127;  // szTip holds 128 units with its terminator

struct TrayInputs {
    int busyCount = 0;          // drive operations in progress
    bool accessBroken = false;  // IsDriveAccessBroken()
    bool blink = false;         // BlinkPhase: a tray is about to close by itself
    int shellMajor = 0;         // 5 and later show one drive a line
    bool iconOpen = false;      // global option IconOpen
    bool iconDisk = false;      // global option IconDisk
};

struct TrayView {
    int iconRow = 0;  // row of IconTable
    std::u16string tip;
};

TrayView ComputeTrayView(const CdromListType& list, const TrayInputs& inputs);

}  // namespace tarvik
