#pragma once
// What the program's commands, timers and events need from the window they
// run in: its timers and hot keys, the tray icon, the menus and the modal
// dialogs. The Win32 main window is one host; tests and tarvikctl have their
// own, so every rule of the program runs and is tested without Windows.
#include <cstdint>
#include <string>

#include "drive/drive.h"
#include "scsi/transport.h"
#include "ui/dialogs/reminder.h"  // kReminderAction, kReminderCancel, kReminderTimedOut

namespace tarvik {

// Timers of the main window: the 500 ms tick, and one poll per drive after a
// tray was closed (id kTimerFirstPoll + drive index).
constexpr unsigned kTimerMain = 1;
constexpr unsigned kTimerFirstPoll = 2;
constexpr uint32_t kTimerPeriodMs = 500;

class AppHost {
public:
    virtual ~AppHost() = default;

    // Chooses the command transport. A host that brings drives of its own (the
    // simulator) keeps them.
    virtual void InitTransport(uint32_t apiPrefered) { (void)SCSIInit(apiPrefered); }

    // Main-window timers (SetTimer/KillTimer). False when it could not start.
    virtual bool StartTimer(unsigned id, uint32_t periodMs) = 0;
    virtual void StopTimer(unsigned id) = 0;
    // RegisterHotKey with MOD_* flags; false when another program holds it.
    virtual bool RegisterHotKey(int id, unsigned modifiers, unsigned virtualKey) = 0;
    virtual void UnregisterHotKey(int id) = 0;
    // A WM_COMMAND that runs after the current one.
    virtual void PostCommand(uint16_t id, uint32_t lParam) = 0;

    // The notification-area icon.
    virtual bool TrayAdd() = 0;  // CreateNotifyIcon, logs its outcome
    virtual void TrayDelete() = 0;
    virtual void TrayUpdate() = 0;
    // The pictures again at `dpi`; with `tell`, the shown icon takes them at
    // once (NIM_MODIFY), else the next adding shows them.
    virtual void TrayUseDpi(int dpi, bool tell) { (void)dpi, (void)tell; }

    // The two popup menus, built from the drive list and shown at the pointer.
    virtual void ShowRightMenu() = 0;
    virtual void ShowSpeedMenu() = 0;

    // Modal UI. Each runs a message loop, during which other commands, timers
    // and device notifications are handled: the drive list may be rebuilt.
    virtual int MessageBox(unsigned stringId, unsigned flags) = 0;  // 1 OK, 2 Cancel
    virtual int ConfirmPassword(const char* stored) = 0;            // 1 when proven
    virtual bool RunOptionsDialog() = 0;                            // true on OK
    virtual bool RunDriveOptionsDialog(CdromDrive* drive) = 0;      // true on OK
    virtual void ShowDriveInfo(uint32_t driveCount) = 0;
    virtual void ShowAbout() = 0;
    virtual int ShowDiskReminder(unsigned seconds) = 0;
    virtual int ShowTrayReminder(unsigned seconds, bool closeOnTimeout) = 0;

    // The reason Windows shows while the program holds up the end of the
    // session; false when the system has none (before Vista).
    virtual bool SetBlockReason(const std::u16string& text) = 0;
    virtual void ClearBlockReason() = 0;

    // Ends the program: the window is destroyed (and the shut-down runs).
    virtual void DestroyMainWindow() = 0;
    // Asks the message loops of the running command (a modal dialog, a scan's
    // progress) to end, so that the command unwinds and the program can end.
    virtual void EndModalLoops() {}
};

// A host without a window, for tarvikctl, benchmarks and tests: the drives are
// the simulator's, nothing is shown, every question is answered "no" (Cancel,
// a refused password) and nothing is posted.
class NoWindowHost : public AppHost {
public:
    void InitTransport(uint32_t) override {}
    bool StartTimer(unsigned, uint32_t) override { return true; }
    void StopTimer(unsigned) override {}
    bool RegisterHotKey(int, unsigned, unsigned) override { return true; }
    void UnregisterHotKey(int) override {}
    void PostCommand(uint16_t, uint32_t) override {}
    bool TrayAdd() override { return true; }
    void TrayDelete() override {}
    void TrayUpdate() override {}
    void ShowRightMenu() override {}
    void ShowSpeedMenu() override {}
    int MessageBox(unsigned, unsigned) override { return 2; }
    int ConfirmPassword(const char*) override { return 0; }
    bool RunOptionsDialog() override { return false; }
    bool RunDriveOptionsDialog(CdromDrive*) override { return false; }
    void ShowDriveInfo(uint32_t) override {}
    void ShowAbout() override {}
    int ShowDiskReminder(unsigned) override { return 0; }
    int ShowTrayReminder(unsigned, bool) override { return 0; }
    bool SetBlockReason(const std::u16string&) override { return false; }
    void ClearBlockReason() override {}
    void DestroyMainWindow() override {}
};

}  // namespace tarvik
