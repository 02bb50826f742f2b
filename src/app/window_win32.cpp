#include "app/window_win32.h"

#include <dbt.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>

#include "app/app.h"
#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "platform/dpi_win32.h"
#include "platform/late_bound_win32.h"
#include "settings/store.h"
#include "ui/dialogs/about_win32.h"
#include "ui/dialogs/drive_info_win32.h"
#include "ui/dialogs/drive_options_win32.h"
#include "ui/dialogs/message_box_win32.h"
#include "ui/dialogs/options_win32.h"
#include "ui/dialogs/password_win32.h"
#include "ui/dialogs/reminder_win32.h"
#include "ui/text/strings.h"
#include "ui/tray/commands.h"
#include "ui/tray/menu_model.h"
#include "ui/tray/menu_win32.h"
#include "ui/tray/tray_win32.h"

namespace tarvik {

UINT TaskbarCreatedMessage = 0;
MainWindowStart StartOptions;

namespace {

// What the options dialogs open of the other dialogs.
constexpr NestedDialogs kNestedDialogs{&MessageBoxRes, &AskPassword};

// The main window as the program's host: timers, hot keys, the tray icon,
// menus and dialogs are this window's.
class WindowHost final : public AppHost {
public:
    explicit WindowHost(HWND window) : window_(window) {}
    App* app = nullptr;
    TrayMenus* menus = nullptr;
    TrayIcon* icon = nullptr;

    bool StartTimer(unsigned id, uint32_t periodMs) override {
        return ::SetTimer(window_, id, periodMs, nullptr) != 0;
    }
    void StopTimer(unsigned id) override { ::KillTimer(window_, id); }
    bool RegisterHotKey(int id, unsigned modifiers, unsigned virtualKey) override {
        return ::RegisterHotKey(window_, id, modifiers, virtualKey) != 0;
    }
    void UnregisterHotKey(int id) override { ::UnregisterHotKey(window_, id); }
    void PostCommand(uint16_t id, uint32_t lParam) override {
        ::PostMessageA(window_, WM_COMMAND, id, static_cast<LPARAM>(lParam));
    }

    bool TrayAdd() override { return icon->Add(); }
    void TrayDelete() override { icon->Remove(); }
    void TrayUpdate() override { icon->Update(app->BusyCount, app->BlinkPhase); }
    void TrayUseDpi(int dpi, bool tell) override {
        icon->UseDpi(::GetModuleHandleA(nullptr), StartOptions.xpIcons, dpi, tell);
    }

    void ShowRightMenu() override { menus->ShowRightMenu(window_, CdromList, HelpFileExists()); }
    void ShowSpeedMenu() override {
        menus->ShowSpeedMenu(window_, CdromList, SpeedMenuOptionsFrom(GlobalSettings));
    }

    int MessageBox(unsigned stringId, unsigned flags) override {
        return MessageBoxRes(window_, stringId, flags);
    }
    int ConfirmPassword(const char* stored) override {
        return tarvik::ConfirmPassword(window_, stored);
    }
    bool RunOptionsDialog() override {
        return tarvik::RunOptionsDialog(window_, &GlobalSettings, kNestedDialogs);
    }
    bool RunDriveOptionsDialog(CdromDrive* drive) override {
        DriveOptionsContext context{drive, GlobalSettings.Data, DriveListGeneration()};
        return tarvik::RunDriveOptionsDialog(window_, context, kNestedDialogs) == 1;
    }
    void ShowDriveInfo(uint32_t count) override {
        const auto& drives = CdromList.drives;
        tarvik::ShowDriveInfo(window_,
                              std::span(drives.data(), std::min<size_t>(count, drives.size())));
    }
    void ShowAbout() override { tarvik::ShowAbout(window_); }
    // The reminders carry out the user's choice themselves.
    int ShowDiskReminder(unsigned seconds) override {
        return tarvik::ShowDiskReminder(window_, seconds);
    }
    int ShowTrayReminder(unsigned seconds, bool closeOnTimeout) override {
        return tarvik::ShowTrayReminder(window_, seconds, closeOnTimeout);
    }

    bool SetBlockReason(const std::u16string& text) override {
        // The block-reason calls exist from Vista on.
        const auto create = late::ShutdownBlockReasonCreate();
        if (!create) return false;
        const std::wstring wide(text.begin(), text.end());
        return create(window_, wide.c_str()) != FALSE;
    }
    void ClearBlockReason() override {
        if (const auto destroy = late::ShutdownBlockReasonDestroy()) destroy(window_);
    }

    void DestroyMainWindow() override { ::DestroyWindow(window_); }
    // Each modal loop that meets the quit message puts it back and returns.
    void EndModalLoops() override { ::PostQuitMessage(0); }

private:
    HWND window_;
};

// The one running program: its tray icon and menus, its host and its state,
// for the life of the window.
struct MainWindow {
    explicit MainWindow(HWND window) : host(window), app(host) {
        host.app = &app;
        host.menus = &menus;
        host.icon = &icon;
    }
    TrayIcon icon;
    TrayMenus menus;
    WindowHost host;
    App app;
};

std::unique_ptr<MainWindow> g_main;

LRESULT OnCreate(HWND window) {
    g_main = std::make_unique<MainWindow>(window);
    App& app = g_main->app;
    TrayIcon& icon = g_main->icon;
    const HINSTANCE module = ::GetModuleHandleA(nullptr);
    app.IconHidden = StartOptions.hidden;
    icon.LoadIcons(module, StartOptions.xpIcons, WindowDpi(window));
    icon.Init(window);
    if (!app.IconHidden) (void)icon.Add();

    if (!g_main->menus.Create(module)) {
        MessageBoxRes(nullptr, IDS_CANT_CREATE_MENU, MB_ICONERROR | MB_TASKMODAL | MB_OK);
        // The window will not exist: take its icon away with it.
        if (!app.IconHidden) icon.Remove();
        g_main.reset();
        return -1;
    }
    app.Start();
    return 0;
}

LRESULT OnDestroy() {
    if (g_main) {
        g_main->app.Shutdown();
        g_main->icon.Remove();
        // The program object stays until the message loop has ended: a
        // command that destroyed the window is still unwinding in it.
    }
    ::PostQuitMessage(0);
    return 0;
}

void OnTrayNotify(HWND window, LPARAM mouseMessage) {
    switch (mouseMessage) {
        case WM_RBUTTONDOWN:
            if (::IsWindowEnabled(window)) {
                ::PostMessageA(window, WM_COMMAND, CMD_RMENU, 0);
            } else {
                // A modal dialog of ours is open: raise it instead of a menu.
                // Our own last popup, never whatever window happens to be near.
                ::MessageBeep(0);
                HWND dialog = ::GetLastActivePopup(window);
                if (dialog && dialog != window) ::SetForegroundWindow(dialog);
            }
            break;
        case WM_LBUTTONDOWN: ::PostMessageA(window, WM_COMMAND, CMD_LEFT_CLICK, 0); break;
        default: break;
    }
}

void OnDeviceChange(WPARAM event, LPARAM lParam) {
    // Only the two device events read point at a block; other events carry a
    // number (a drive for DBT_LOW_DISK_SPACE) or nothing in lParam.
    const bool block = event == kDbtDeviceArrival || event == kDbtDeviceRemoveComplete;
    const auto* header = block ? reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam) : nullptr;
    // The block says how long it is; nothing past that is read.
    const size_t size = header ? header->dbch_size : 0;
    g_main->app.DeviceChange(event,
                             DecodeDeviceBroadcast(reinterpret_cast<const uint8_t*>(header), size));
}

}  // namespace

void ReleaseMainWindow() { g_main.reset(); }

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return OnCreate(window);
    if (!g_main) return ::DefWindowProcA(window, message, wParam, lParam);
    App& app = g_main->app;
    switch (message) {
        case WM_DESTROY: return OnDestroy();
        case WM_CLOSE: app.Exit(); return 0;
        case WM_COMMAND: app.Command(LOWORD(wParam), static_cast<uint32_t>(lParam)); return 0;
        case WM_TIMER: app.Timer(wParam); return 0;
        case WM_HOTKEY: app.HotKey(wParam); return 0;
        case kWmTrayNotify: OnTrayNotify(window, lParam); return 0;
        case WM_POWERBROADCAST: app.PowerBroadcast(wParam); return TRUE;
        case WM_DEVICECHANGE: OnDeviceChange(wParam, lParam); break;
        case WM_QUERYENDSESSION: app.QueryEndSession(); return TRUE;
        case WM_ENDSESSION: app.EndSession(wParam != FALSE); return 0;
        case kWmDpiChanged:
            // The notification area sits on the main window's monitor.
            if (PlausibleDpi(HIWORD(wParam))) app.DpiChanged(HIWORD(wParam));
            return 0;
        default:
            if (message == TaskbarCreatedMessage && TaskbarCreatedMessage != 0)
                app.TaskbarCreated(WindowDpi(window));
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace tarvik
