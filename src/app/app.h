#pragma once
// The running program: the drive start-up, every command of the main window,
// its timers and the system events it reacts to. One object, owned by the main
// window; the window procedure, hot keys, timers and tarvikctl all run their
// work through it, and its host (app_host.h) is the only way out to Windows.
// Its start-up and commands are defined in app.cpp, its timers and its
// answers to the system's notifications in events.cpp.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/app_host.h"
#include "app/device_broadcast.h"
#include "ui/tray/commands.h"

namespace tarvik {

// WM_POWERBROADCAST events that mean the system is back from sleep.
constexpr uintptr_t kPbtApmResumeCritical = 6;
constexpr uintptr_t kPbtApmResumeSuspend = 7;

// MessageBox flags of the program's messages.
constexpr unsigned kMbOkCancel = 0x1;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbTaskModal = 0x2000;
constexpr int kIdOk = 1;

class App {
public:
    explicit App(AppHost& host);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The drive part of the window's creation: drives, timer, hot keys, and
    // the trays closed when the option says so.
    void Start();
    // The window's destruction: export, hot keys, timers, drives.
    void Shutdown();
    // Loads the settings, starts the transport, (re)builds or (build = 0)
    // frees the drive list, restarts the main timer and the hot keys.
    void DrivesInit(int build);

    // WM_COMMAND, with the icon refresh that follows every command.
    void Command(uint16_t id, uint32_t lParam);
    // The end of the program, put off while a command is still running (a
    // modal dialog inside it holds drive records).
    void Exit();

    void Timer(uintptr_t timerId);
    void HotKey(uintptr_t hotKeyId);
    void PowerBroadcast(uintptr_t event);
    void DeviceChange(uintptr_t event, const DeviceBroadcast& block);
    // A new DPI on the main window's monitor; a new shell, at the DPI in force.
    void DpiChanged(int dpi);
    void TaskbarCreated(int dpi);
    void QueryEndSession();
    // ending = false: another program cancelled the end of the session.
    void EndSession(bool ending);

    // Eject (asking for the eject password when the drive is locked under
    // one) or close, with the restore that may follow a close.
    void EjectOrClose(uint32_t index, bool eject);

    // The tray icon's state.
    int IconHidden = 0;
    int BusyCount = 0;
    int BlinkPhase = 0;
    // DriveBusyNotify: operations in progress show the "wait" picture.
    void BusyNotify(int started);

private:
    // When each periodic job of a drive last ran, and the opening of its tray
    // that the automatic close has already dealt with.
    struct DriveTimes {
        uint64_t lastCheckMs = 0;
        uint64_t lastRestoreMs = 0;
        uint32_t autoClosedOpenTick = 0;
        bool autoClosed = false;
    };

    void RefreshTray();
    // Runs `work` as a command: an exit asked meanwhile (a restart while one
    // of its dialogs is open) waits until it has unwound.
    template <class Work>
    void AsCommand(Work&& work) {
        ++commandDepth_;
        work();
        --commandDepth_;
        if (commandDepth_ == 0 && exitPending_) {
            exitPending_ = false;
            host_.DestroyMainWindow();
        }
    }
    void RunCommand(uint16_t id, uint32_t lParam);
    void OnOptions();
    void OnResetConfig();
    void OnLeftClick();
    void OnDriveCommand(const DriveCommand& command);
    void DriveOptions(uint32_t index);
    // Max speed, min speed or restore, on the list of the disc now in the drive.
    void SpeedStep(CdromDrive* drive, unsigned action);
    void SelectSpeed(CdromDrive* drive, unsigned k);
    void ShellOpen(const CdromDrive& drive, const char* verb);
    void ClosePoll(uint32_t index);
    void TimerTick();
    void StopMainTimer();
    void StopPolls();
    void ResetTimes(uint64_t now);
    void UnregisterHotKeys();
    void RegisterHotKeys();
    // The record of drive `index`, or null when the list was rebuilt since
    // `generation` (the caller's records are gone) or has no such drive.
    CdromDrive* DriveAgain(uint32_t generation, uint32_t index) const;
    uint64_t NowMs();
    DriveTimes& TimesOf(uint32_t index, uint64_t now);

    // Session end.
    void QueryEndSessionSteps();
    void EndSessionSteps(bool ending);
    bool BlockReason(unsigned stringId, const std::u16string& extra = {});
    int BlockReasonCountdown(unsigned stringId, bool (*condition)(), unsigned seconds,
                             unsigned shortcut, const std::u16string& extra);
    void DiskCountdown(unsigned seconds, unsigned inDialog);
    void TrayCountdown(unsigned seconds, bool close, unsigned inDialog);
    unsigned ReminderSeconds() const;

    AppHost& host_;
    bool mainTimerRunning_ = false;
    int commandDepth_ = 0;
    bool exitPending_ = false;
    bool destroyed_ = false;
    // 64-bit milliseconds, carried across the wrap of the 32-bit tick count.
    uint64_t nowMs_ = 0;
    uint32_t lastTick_ = 0;
    uint64_t queryEndSessionMs_ = 0;
    uint32_t timesGeneration_ = 0;
    std::vector<DriveTimes> times_;
};

}  // namespace tarvik
