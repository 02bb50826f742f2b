#include "ui/tray/tray_win32.h"

#include <algorithm>
#include <cstddef>

#include "base/log.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "platform/dpi_win32.h"
#include "scsi/transport.h"
#include "settings/shell.h"
#include "settings/store.h"
#include "ui/text/text_api_win32.h"
#include "ui/tray/commands.h"
#include "ui/tray/tray_view.h"

namespace tarvik {

namespace {

struct IconNames {
    const char* classic;
    const char* xp;
};
constexpr IconNames kIconNames[kIconRows] = {
    {"IconTask16", "IconTaskXP"},           {"IconTask16Red", "IconTaskXPRed"},
    {"IconTask16Green", "IconTaskXPGreen"}, {"IconQuestion16", "IconQuestionXP"},
    {"IconWait16", "IconWaitXP"},           {"IconError16", "IconErrorXP"},
};

constexpr wchar_t kDefaultTip[] = L"Tarvik 5.0";

// The size up to and including guidItem, which every shell since XP accepts
// (952 bytes on 32-bit Windows). Spelled out because the headers' _V3_SIZE
// names the Vista field after it, which the XP-level 32-bit build lacks.
constexpr DWORD kNotifyIconDataSize = offsetof(NOTIFYICONDATAW, guidItem) + sizeof(GUID);
#if NTDDI_VERSION >= 0x06000000
static_assert(kNotifyIconDataSize == NOTIFYICONDATAW_V3_SIZE);
#endif

}  // namespace

void TrayIcon::LoadIcons(HINSTANCE instance, bool xpStyle, int dpi) {
    // The small-icon size follows the display scale (16, 20, 24 or 32 pixels),
    // and each icon carries an image of that size, so the tray never shows a
    // shrunken 32-pixel picture.
    const int cx = SystemMetricForDpi(SM_CXSMICON, dpi);
    const int cy = SystemMetricForDpi(SM_CYSMICON, dpi);
    side_ = cx;
    for (int row = 0; row < kIconRows; ++row) {
        const char* name = xpStyle ? kIconNames[row].xp : kIconNames[row].classic;
        icons_[row].reset(
            static_cast<HICON>(::LoadImageA(instance, name, IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
    }
}

void TrayIcon::UseDpi(HINSTANCE instance, bool xpStyle, int dpi, bool tell) {
    if (SystemMetricForDpi(SM_CXSMICON, dpi) == side_) return;
    int shown = kIconNormal;
    for (int row = 0; row < kIconRows; ++row)
        if (data_.hIcon && data_.hIcon == icons_[row].get()) shown = row;
    LoadIcons(instance, xpStyle, dpi);
    data_.hIcon = icons_[shown].get();
    if (tell) (void)UiShellNotifyIcon(NIM_MODIFY, &data_);
}

void TrayIcon::Init(HWND window) {
    data_ = NOTIFYICONDATAW{};
    data_.cbSize = kNotifyIconDataSize;
    data_.hWnd = window;
    data_.uID = 0;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = kWmTrayNotify;
    data_.hIcon = icons_[kIconNormal].get();
    ::lstrcpynW(data_.szTip, kDefaultTip, ARRAYSIZE(data_.szTip));
}

bool TrayIcon::Add() {
    const bool ok = UiShellNotifyIcon(NIM_ADD, &data_) != FALSE;
    LogPrintf("CreateNotifyIcon %s\n", ok ? "OK" : "FAILED!");
    return ok;
}

void TrayIcon::Remove() { UiShellNotifyIcon(NIM_DELETE, &data_); }

void TrayIcon::Update(int busyCount, int blinkPhase) {
    TrayInputs inputs;
    inputs.busyCount = busyCount;
    inputs.accessBroken = IsDriveAccessBroken() != 0;
    inputs.blink = blinkPhase != 0;
    inputs.shellMajor = GetShellVersionMajor();
    inputs.iconOpen = GlobalSettings.IconOpen != 0;
    inputs.iconDisk = GlobalSettings.IconDisk != 0;
    const TrayView view = ComputeTrayView(CdromList, inputs);

    data_.hIcon = icons_[view.iconRow].get();
    // The tip never exceeds 127 units, so it always fits with its terminator.
    const size_t n = std::min(view.tip.size(), size_t{ARRAYSIZE(data_.szTip) - 1});
    std::copy_n(view.tip.data(), n, data_.szTip);
    data_.szTip[n] = L'\0';
    UiShellNotifyIcon(NIM_MODIFY, &data_);
}

}  // namespace tarvik
