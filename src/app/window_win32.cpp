#include "app/window_win32.h"

#include "base/log.h"
#include "drive/drive.h"
#include "drive/speed_control.h"
#include "scsi/transport.h"
#include "settings/store.h"
#include "ui/commands.h"
#include "ui/message_box_win32.h"
#include "ui/strings.h"
#include "ui/tray_win32.h"

namespace tarvik {

const char kWindowClassName[] = "Tarvik";
UINT TaskbarCreatedMessage = 0;

namespace {

constexpr UINT_PTR kMainTimerId = 1;
constexpr UINT kMainTimerPeriodMs = 500;

struct MainWindowState {
    HMENU rMenu = nullptr;
    HMENU speedMenu = nullptr;
    HBITMAP bitmapSpeed = nullptr;
    HBITMAP bitmapEject = nullptr;
    HBITMAP bitmapClose = nullptr;
    bool mainTimerRunning = false;
};

MainWindowState g_state;

void DestroyMenus() {
    if (g_state.speedMenu) ::DestroyMenu(g_state.speedMenu);  // submenus go with it
    if (g_state.rMenu) ::DestroyMenu(g_state.rMenu);
    for (HBITMAP* bitmap : {&g_state.bitmapSpeed, &g_state.bitmapEject, &g_state.bitmapClose}) {
        if (*bitmap) ::DeleteObject(*bitmap);
        *bitmap = nullptr;
    }
    g_state.speedMenu = g_state.rMenu = nullptr;
}

void StopMainTimer(HWND window) {
    if (!g_state.mainTimerRunning) return;
    ::KillTimer(window, kMainTimerId);
    g_state.mainTimerRunning = false;
}

// Identifiers of every index a list can hold, not only the current count: a
// rebuilt list may be shorter than the one whose keys are still registered.
void UnregisterHotKeys(HWND window) {
    for (unsigned i = 0; i < kMaxDrives; ++i)
        for (unsigned slot = 0; slot < kHotKeySlotCount; ++slot)
            ::UnregisterHotKey(window, HotKeyId(slot, i));
}

void RegisterHotKeys(HWND window) {
    for (uint32_t i = 0; i < CdromList.count(); ++i) {
        const CdromDrive& drive = CdromList.drives[i];
        if (drive.Ignore) continue;
        for (unsigned slot = 0; slot < kHotKeySlotCount; ++slot) {
            const uint32_t stored = drive.HotKeys[slot];
            // A key another program holds is passed over silently.
            if (stored)
                (void)::RegisterHotKey(window, HotKeyId(slot, i), HotKeyModifiers(stored),
                                       stored & 0xFF);
        }
    }
}

LRESULT OnCreate(HWND window) {
    InitTrayIconData(window);
    if (!IconHidden) (void)CreateNotifyIcon();

    SetDriveBusyNotify(TrayBusyNotify);

    g_state.rMenu = ::CreatePopupMenu();
    if (!g_state.rMenu) {
        // The system message box until the dialog engine exists (see MessageBoxRes).
        MessageBoxRes(nullptr, IDS_CANT_CREATE_MENU, MB_ICONERROR | MB_TASKMODAL | MB_OK);
        // The window will not exist: take its icon away with it.
        if (!IconHidden) UiShellNotifyIcon(NIM_DELETE, &TrayIconData);
        return -1;
    }
    g_state.speedMenu = ::CreatePopupMenu();
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    g_state.bitmapSpeed = ::LoadBitmapA(instance, "BitmapCSpeed");
    g_state.bitmapEject = ::LoadBitmapA(instance, "BitmapEject");
    g_state.bitmapClose = ::LoadBitmapA(instance, "BitmapClose");

    DrivesInit(window, 1);
    if (GlobalSettings.CloseOnRun) CloseAllTrays();
    return 0;
}

LRESULT OnDestroy(HWND window) {
    if (GlobalSettings.SavePath[0]) SaveConfigToFile(GlobalSettings.SavePath);
    UnregisterHotKeys(window);
    StopMainTimer(window);
    FreeDriveList();
    DestroyMenus();
    UiShellNotifyIcon(NIM_DELETE, &TrayIconData);
    ::PostQuitMessage(0);
    return 0;
}

void OnHide() {
    if (!IconHidden) UiShellNotifyIcon(NIM_DELETE, &TrayIconData);
    IconHidden = 1;
}

void OnShow() {
    (void)CreateNotifyIcon();
    IconHidden = 0;
    TrayUpdate();
}

// The drives are checked first so the speed menu shows their real state; the
// menu itself comes with the tray menus.
void OnLeftClick() {
    LogPrintf("LEFT CLICK\n");
    CheckAllDrives();
    LogPrintf("CheckAllStatus DONE\n");
}

void OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    const auto id = static_cast<uint16_t>(LOWORD(wParam));
    switch (id) {
        case CMD_HIDE: return OnHide();  // no icon refresh after these two
        case CMD_SHOW: return OnShow();
        case CMD_LEFT_CLICK: OnLeftClick(); break;
        case CMD_EXIT: ::DestroyWindow(window); break;
        case CMD_DETECT_DRIVES: DrivesInit(window, 1); break;
        default: break;  // unknown identifiers only refresh the icon
    }
    if (!IconHidden && ::IsWindow(window)) TrayUpdate();
}

void OnTrayNotify(HWND window, LPARAM mouseMessage) {
    switch (mouseMessage) {
        case WM_RBUTTONDOWN:
            if (::IsWindowEnabled(window)) {
                ::PostMessageA(window, WM_COMMAND, CMD_RMENU, 0);
            } else {
                // A modal dialog of ours is open: raise it instead of a menu.
                ::MessageBeep(0);
                ::SetForegroundWindow(::GetWindow(window, GW_HWNDPREV));
            }
            break;
        case WM_LBUTTONDOWN: ::PostMessageA(window, WM_COMMAND, CMD_LEFT_CLICK, 0); break;
        default: break;
    }
}

void OnHotKey(HWND window, WPARAM hotKeyId) {
    if (const auto command = CommandForHotKey(hotKeyId))
        ::PostMessageA(window, WM_COMMAND, *command, 0);
}

void OnTaskbarCreated() {
    LogPrintf("Got TaskbarCreated notification\n");
    if (IconHidden) return;
    (void)CreateNotifyIcon();
    TrayUpdate();
}

}  // namespace

void DrivesInit(HWND window, int build) {
    BusyCount += 1;
    if (!IconHidden) TrayUpdate();

    LoadGlobalSettings();
    LogPrintf("Executing SCSIInit(%d)\n", static_cast<int>(GlobalSettings.ApiPrefered));
    (void)SCSIInit(GlobalSettings.ApiPrefered);
    if (build) {
        LogPrintf("Getting CDROM List\n");
        BuildDriveList();
        RestoreSpeedOnEvent(kEventStart, 0);
    } else {
        FreeDriveList();
    }

    StopMainTimer(window);
    if (GlobalSettings.TimerEnable && ::SetTimer(window, kMainTimerId, kMainTimerPeriodMs, nullptr))
        g_state.mainTimerRunning = true;

    UnregisterHotKeys(window);
    RegisterHotKeys(window);

    BusyCount -= 1;
    if (!IconHidden) TrayUpdate();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: return OnCreate(window);
        case WM_DESTROY: return OnDestroy(window);
        case WM_COMMAND: OnCommand(window, wParam, lParam); return 0;
        case WM_HOTKEY: OnHotKey(window, wParam); return 0;
        case kWmTrayNotify: OnTrayNotify(window, lParam); return 0;
        case WM_POWERBROADCAST: return TRUE;
        default: break;
    }
    if (message == TaskbarCreatedMessage && TaskbarCreatedMessage != 0) OnTaskbarCreated();
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace tarvik
