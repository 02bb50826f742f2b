#include "ui/tray_win32.h"

#include <algorithm>
#include <cstddef>

#include "base/log.h"
#include "drive/drive.h"
#include "scsi/transport.h"
#include "settings/shell.h"
#include "settings/store.h"
#include "ui/commands.h"
#include "ui/tray_view.h"

namespace tarvik {

// clang-format off
IconTableRow IconTable[kIconRows] = {
    {nullptr, "IconTask16", "IconTaskXP"},
    {nullptr, "IconTask16Red", "IconTaskXPRed"},
    {nullptr, "IconTask16Green", "IconTaskXPGreen"},
    {nullptr, "IconQuestion16", "IconQuestionXP"},
    {nullptr, "IconWait16", "IconWaitXP"},
    {nullptr, "IconError16", "IconErrorXP"},
};
// clang-format on

NOTIFYICONDATAW TrayIconData;

namespace {
constexpr wchar_t kDefaultTip[] = L"Tarvik 5.0";

// The size up to and including guidItem, which every shell since XP accepts
// (952 bytes on 32-bit Windows). Spelled out because the headers' _V3_SIZE
// names the Vista field after it, which the XP-level 32-bit build lacks.
constexpr DWORD kNotifyIconDataSize = offsetof(NOTIFYICONDATAW, guidItem) + sizeof(GUID);
#if NTDDI_VERSION >= 0x06000000
static_assert(kNotifyIconDataSize == NOTIFYICONDATAW_V3_SIZE);
#endif
}  // namespace

void LoadIconTable(HINSTANCE instance, bool xpStyle) {
    // The small-icon size follows the display scale (16, 20, 24 or 32 pixels),
    // and each icon carries an image of that size, so the tray never shows a
    // shrunken 32-pixel picture.
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    for (IconTableRow& row : IconTable) {
        // A missing picture leaves a null handle; the program goes on.
        row.icon = static_cast<HICON>(::LoadImageA(instance, xpStyle ? row.xp : row.classic,
                                                   IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
    }
}

void InitTrayIconData(HWND window) {
    TrayIconData = NOTIFYICONDATAW{};
    TrayIconData.cbSize = kNotifyIconDataSize;
    TrayIconData.hWnd = window;
    TrayIconData.uID = 0;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = kWmTrayNotify;
    TrayIconData.hIcon = IconTable[kIconNormal].icon;
    ::lstrcpynW(TrayIconData.szTip, kDefaultTip, ARRAYSIZE(TrayIconData.szTip));
}

BOOL UiShellNotifyIcon(DWORD message, NOTIFYICONDATAW* data) {
    return ::Shell_NotifyIconW(message, data);
}

BOOL CreateNotifyIcon() {
    const BOOL ok = UiShellNotifyIcon(NIM_ADD, &TrayIconData);
    LogPrintf("CreateNotifyIcon %s\n", ok ? "OK" : "FAILED!");
    return ok;
}

void TrayUpdate(int busyCount, int blinkPhase) {
    TrayInputs inputs;
    inputs.busyCount = busyCount;
    inputs.accessBroken = IsDriveAccessBroken() != 0;
    inputs.blink = blinkPhase != 0;
    inputs.shellMajor = GetShellVersionMajor();
    inputs.iconOpen = GlobalSettings.IconOpen != 0;
    inputs.iconDisk = GlobalSettings.IconDisk != 0;
    const TrayView view = ComputeTrayView(CdromList, inputs);

    TrayIconData.hIcon = IconTable[view.iconRow].icon;
    // The tip never exceeds 127 units, so it always fits with its terminator.
    const size_t n = std::min(view.tip.size(), size_t{ARRAYSIZE(TrayIconData.szTip) - 1});
    std::copy_n(view.tip.data(), n, TrayIconData.szTip);
    TrayIconData.szTip[n] = L'\0';
    UiShellNotifyIcon(NIM_MODIFY, &TrayIconData);
}

}  // namespace tarvik
