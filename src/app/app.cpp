// Start-up, shut-down and the command switch of the main window.
#include "app/app.h"

#include <cstring>
#include <string>

#include "base/log.h"
#include "drive/all_drives.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/speed_control.h"
#include "drive/tray.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "scsi/mmc.h"
#include "scsi/transport.h"
#include "settings/shell.h"
#include "settings/store.h"
#include "ui/text/strings.h"

namespace tarvik {

namespace {

constexpr int kSwShowNormal = 1;
constexpr int kSwShowDefault = 10;
constexpr intptr_t kShellExecuteFailedMax = 32;  // above: the program was started
constexpr unsigned kPollTicks = 30;              // 15 seconds of 500 ms polls
constexpr unsigned kAutorunChars = 260;

App* g_busyApp = nullptr;
void BusyTrampoline(int started) {
    if (g_busyApp) g_busyApp->BusyNotify(started);
}

std::string RootOf(const CdromDrive& drive) {
    const uint32_t letter = drive.Address.letter;
    if (letter < 'A' || letter > 'Z') return {};
    return std::string(1, static_cast<char>(letter)) + ":\\";
}

// The AUTORUN.INF of the disc in the drive: "shellexecute", else "open", of
// its [AutoRun] section, split at the first blank into program and arguments
// (quotes are not interpreted). 1 when a program was started.
int DoAutorunInf(const CdromDrive& drive) {
    const std::string root = RootOf(drive);
    if (root.empty()) return 0;
    const std::string file = root + "AUTORUN.INF";
    std::string value = Sys().ProfileString(file, "AutoRun", "shellexecute", kAutorunChars);
    if (value.empty()) value = Sys().ProfileString(file, "AutoRun", "open", kAutorunChars);
    if (value.empty()) return 0;
    LogPrintf("DoAutorunInf: cmd=%s\n", value.c_str());
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t cut = 0;
    while (cut < value.size() && !isBlank(value[cut])) ++cut;
    size_t args = cut;
    while (args < value.size() && isBlank(value[args])) ++args;
    const std::string command = value.substr(0, cut);
    const std::string arguments = value.substr(args);
    LogPrintf("DoAutorunInf: cmd=%s args=%s\n", command.c_str(), arguments.c_str());
    const std::string directory = root.substr(0, 2);  // "X:", no backslash
    const intptr_t started = Sys().ShellExecute("open", command.c_str(), arguments.c_str(),
                                                directory.c_str(), kSwShowNormal);
    return started > kShellExecuteFailedMax ? 1 : 0;
}

// Puts back the stored part of a drive record (identity, model, options) as
// it was, keeping where the drive is and what it is doing now.
void RestoreStoredPart(CdromDrive& drive, const CdromDrive& saved) {
    CdromDrive live = drive;
    drive = saved;
    drive.Address = live.Address;
    drive.CurrentSpeed = live.CurrentSpeed;
    drive.MediumPresent = live.MediumPresent;
    drive.TrayClosed = live.TrayClosed;
    drive.Caps = live.Caps;
    drive.Profile = live.Profile;
    drive.AudioStatus = live.AudioStatus;
    drive.MediumClass = live.MediumClass;
    drive.CurrentFamily = live.CurrentFamily;
    drive.Busy = live.Busy;
    drive.RestoreCountdown = live.RestoreCountdown;
    drive.TrayOpenTick = live.TrayOpenTick;
}

void SaveExportIfSet() {
    if (GlobalSettings.SavePath[0]) SaveConfigToFile(GlobalSettings.SavePath);
}

}  // namespace

App::App(AppHost& host) : host_(host), lastTick_(GetClock().TickCount()) {
    g_busyApp = this;
    SetDriveBusyNotify(BusyTrampoline);
}

App::~App() {
    if (g_busyApp == this) {
        SetDriveBusyNotify(nullptr);
        g_busyApp = nullptr;
    }
}

uint64_t App::NowMs() {
    const uint32_t tick = GetClock().TickCount();
    nowMs_ += static_cast<uint32_t>(tick - lastTick_);  // wrap-safe step
    lastTick_ = tick;
    return nowMs_;
}

void App::BusyNotify(int started) {
    BusyCount += started ? 1 : -1;
    if (!IconHidden) host_.TrayUpdate();
}

void App::RefreshTray() {
    if (!IconHidden && !destroyed_) host_.TrayUpdate();
}

// ---- start-up and shut-down ---------------------------------------------------

void App::Start() {
    // Start-up runs inside the window's creation: a close that arrives
    // meanwhile (a second instance restarting) ends the program once the
    // window exists, instead of destroying it half made.
    ++commandDepth_;
    (void)QuoteAutoLoad("Tarvik");  // an old bare entry: quoted before it is used again
    DrivesInit(1);
    if (GlobalSettings.CloseOnRun) CloseAllTrays();
    --commandDepth_;
    if (exitPending_) {
        exitPending_ = false;
        host_.PostCommand(CMD_EXIT, 0);
    }
}

void App::Shutdown() {
    destroyed_ = true;
    SaveExportIfSet();
    UnregisterHotKeys();
    StopMainTimer();
    StopPolls();
    FreeDriveList();
}

void App::DrivesInit(int build) {
    BusyCount += 1;
    RefreshTray();

    LoadGlobalSettings();
    LogPrintf("Executing SCSIInit(%d)\n", static_cast<int>(GlobalSettings.ApiPrefered));
    host_.InitTransport(GlobalSettings.ApiPrefered);
    // Hot keys are unregistered for the list they were registered for.
    UnregisterHotKeys();
    StopPolls();  // a poll belongs to a record of the old list
    if (build) {
        LogPrintf("Getting CDROM List\n");
        BuildDriveList();
        // Also when it is 0: an empty list logs nothing else, which reads
        // like a start-up that never finished.
        LogPrintf("    %u drive(s) found\n", CdromList.count());
        RestoreSpeedOnEvent(kEventStart, 0);
    } else {
        FreeDriveList();
    }

    ResetTimes(NowMs());  // the periods of the new list start now
    StopMainTimer();
    if (GlobalSettings.TimerEnable && host_.StartTimer(kTimerMain, kTimerPeriodMs))
        mainTimerRunning_ = true;
    RegisterHotKeys();

    BusyCount -= 1;
    RefreshTray();
}

void App::StopPolls() {
    for (unsigned i = 0; i < kMaxDrives; ++i) host_.StopTimer(kTimerFirstPoll + i);
}

void App::StopMainTimer() {
    if (!mainTimerRunning_) return;
    host_.StopTimer(kTimerMain);
    mainTimerRunning_ = false;
}

// Every index a list can hold, not only the current count: a rebuilt list may
// be shorter than the one whose keys are still registered.
void App::UnregisterHotKeys() {
    for (unsigned i = 0; i < kMaxDrives; ++i)
        for (unsigned slot = 0; slot < kHotKeySlotCount; ++slot)
            host_.UnregisterHotKey(HotKeyId(slot, i));
}

void App::RegisterHotKeys() {
    for (uint32_t i = 0; i < CdromList.count(); ++i) {
        const CdromDrive& drive = CdromList.drives[i];
        if (drive.Ignore) continue;
        for (unsigned slot = 0; slot < kHotKeySlotCount; ++slot) {
            const uint32_t stored = drive.HotKeys[slot];
            // A key another program holds is passed over silently.
            if (stored)
                (void)host_.RegisterHotKey(HotKeyId(slot, i), HotKeyModifiers(stored),
                                           stored & 0xFF);
        }
    }
}

void App::Exit() {
    if (commandDepth_ > 0) {
        exitPending_ = true;  // destroyed once the running command has unwound
        // A dialog or a scan in that command would otherwise wait for the user.
        host_.EndModalLoops();
        return;
    }
    host_.DestroyMainWindow();
}

CdromDrive* App::DriveAgain(uint32_t generation, uint32_t index) const {
    if (DriveListGeneration() != generation) {
        LogPrintf("Drive list changed meanwhile: command dropped\n");
        return nullptr;
    }
    return DriveAt(index);
}

// ---- commands -------------------------------------------------------------------

void App::Command(uint16_t id, uint32_t lParam) {
    if (destroyed_) return;
    AsCommand([&] {
        RunCommand(id, lParam);
        if (id != CMD_HIDE && id != CMD_SHOW) RefreshTray();
    });
}

void App::RunCommand(uint16_t id, uint32_t lParam) {
    if (const auto drive = DriveCommand::Decode(id)) return OnDriveCommand(*drive);
    switch (id) {
        case CMD_RMENU: return host_.ShowRightMenu();
        case CMD_LEFT_CLICK: return OnLeftClick();
        case CMD_ABOUT: return host_.ShowAbout();
        case CMD_HELP: {
            OwnedStr help = GetHelpFilePath();
            if (help) (void)Sys().ShellExecute("open", help.get(), nullptr, nullptr, kSwShowNormal);
            return;
        }
        case CMD_DRIVE_INFO: return host_.ShowDriveInfo(CdromList.count());
        case CMD_DETECT_DRIVES: return DrivesInit(1);
        case CMD_OPTIONS: return OnOptions();
        case CMD_RESET_CONFIG: return OnResetConfig();
        case CMD_EXIT: return Exit();
        case CMD_MEDIA_ARRIVED: return RestoreSpeedOnEvent(kEventDiskChange, lParam);
        case CMD_MEDIA_REMOVED: return CheckAllDrives();
        case CMD_TIMER_TICK: return TimerTick();
        case CMD_RESUME: return RestoreSpeedOnEvent(kEventResume, 0);
        case CMD_HIDE:
            if (!IconHidden) host_.TrayDelete();
            IconHidden = 1;
            return;
        case CMD_SHOW:
            (void)host_.TrayAdd();
            IconHidden = 0;
            host_.TrayUpdate();
            return;
        default: return;  // unknown identifiers only refresh the icon
    }
}

void App::OnLeftClick() {
    LogPrintf("LEFT CLICK\n");
    CheckAllDrives();
    LogPrintf("CheckAllStatus DONE\n");
    if (CdromList.count() == 0)
        host_.ShowDriveInfo(0);
    else
        host_.ShowSpeedMenu();
}

void App::OnOptions() {
    const uint32_t apiBefore = GlobalSettings.ApiPrefered;
    if (!host_.RunOptionsDialog()) return;
    SaveGlobalSettings();
    SaveExportIfSet();
    if ((GlobalSettings.ApiPrefered & kDisableAspi) && !(apiBefore & kDisableAspi)) {
        // An ASPI manager once loaded stays in the process: only a new one is free of it.
        LogPrintf("ASPI disabled - restarting...\n");
        OwnedStr path = GetModulePath();
        const intptr_t started =
            path ? Sys().ShellExecute(nullptr, path.get(), "/restart", nullptr, kSwShowDefault) : 0;
        if (started > kShellExecuteFailedMax) {
            LogPrintf("    DONE\n");
            return;
        }
        LogPrintf("    FAILED (%d): initialising in place\n", static_cast<int>(started));
    }
    DrivesInit(1);
}

void App::OnResetConfig() {
    if (GlobalSettings.Data[0] && !host_.ConfirmPassword(GlobalSettings.Data)) return;
    if (host_.MessageBox(IDS_RESET_CONFIRM, kMbIconQuestion | kMbTaskModal | kMbOkCancel) != kIdOk)
        return;
    ResetConfiguration();
    DeleteAutoLoad("Tarvik");
    DrivesInit(0);
}

void App::OnDriveCommand(const DriveCommand& command) {
    const uint32_t i = command.drive;
    const unsigned a = command.action;
    CdromDrive* drive = DriveAt(i);
    if (!drive) {
        if (a == DRIVE_CMD_CLOSE_POLL) host_.StopTimer(kTimerFirstPoll + i);
        return;
    }
    if (drive->Ignore) {
        if (a == DRIVE_CMD_OPTIONS) {
            LogPrintf("CDROMCommand: cmd=%u, i=%u, speed=%u\n", 0u, i, command.speedIndex);
            DriveOptions(i);
        } else if (a == DRIVE_CMD_CLOSE_POLL) {
            host_.StopTimer(kTimerFirstPoll + i);
        }
        return;
    }
    LogPrintf("CDROMCommand: cmd=%u, i=%u, speed=%u\n", a, i, command.speedIndex);
    switch (a) {
        case DRIVE_CMD_OPTIONS: return DriveOptions(i);
        case DRIVE_CMD_EJECT: {
            const bool eject = GlobalSettings.EjectSingle ? CheckTrayClosed(drive) != 0 : true;
            return EjectOrClose(i, eject);
        }
        case DRIVE_CMD_CLOSE: return EjectOrClose(i, false);
        case DRIVE_CMD_MAX_SPEED:
        case DRIVE_CMD_RESTORE:
        case DRIVE_CMD_MIN_SPEED: return SpeedStep(drive, a);
        case DRIVE_CMD_FASTER: CheckDriveState(drive); return SpeedFaster(drive);
        case DRIVE_CMD_SLOWER: CheckDriveState(drive); return SpeedSlower(drive);
        case DRIVE_CMD_CLOSE_POLL: return ClosePoll(i);
        case DRIVE_CMD_BROWSE: return ShellOpen(*drive, "open");
        case DRIVE_CMD_EXPLORE: return ShellOpen(*drive, "explore");
        case DRIVE_CMD_AUTORUN:
            if (!DoAutorunInf(*drive)) ShellOpen(*drive, "open");
            return;
        case DRIVE_CMD_SET_SPEED: return SelectSpeed(drive, command.speedIndex);
        default: return;  // 13..15 mean nothing
    }
}

// The list is the one of the disc the check finds: a DVD put in since the last
// check has its own speeds, and the CD's would be the wrong commands for it.
void App::SpeedStep(CdromDrive* drive, unsigned action) {
    CheckDriveState(drive);
    const SpeedList& list = drive->CurrentList();
    const uint32_t n = EntryCount(list);
    if (action == DRIVE_CMD_MAX_SPEED) {
        if (n) SetSpeed(drive, list.Entries[0].Command);
    } else if (action == DRIVE_CMD_MIN_SPEED) {
        if (n) SetSpeed(drive, list.Entries[n - 1].Command);
    } else if (list.Selected) {
        // Unlike the event restore, none of the drive's conditions apply.
        SetSpeed(drive, CommandForSpeed(list, list.Selected));
    }
}

void App::SelectSpeed(CdromDrive* drive, unsigned k) {
    CheckDriveState(drive);
    SpeedList& list = drive->CurrentList();
    if (k < EntryCount(list)) {
        list.Selected = list.Entries[k].Speed;  // only this command changes the selection
        SaveDriveModel(drive);
        SaveDriveInstance(drive);
        SetSpeed(drive, list.Entries[k].Command);
    }
    SaveExportIfSet();
}

void App::ShellOpen(const CdromDrive& drive, const char* verb) {
    const std::string root = RootOf(drive);
    if (!root.empty())
        (void)Sys().ShellExecute(verb, root.c_str(), nullptr, nullptr, kSwShowNormal);
}

void App::DriveOptions(uint32_t index) {
    CdromDrive* drive = DriveAt(index);
    if (!drive) return;
    const uint32_t generation = DriveListGeneration();
    const CdromDrive saved = *drive;
    // Busy keeps the list from being rebuilt under the dialog; set directly,
    // so the icon does not show "wait" for as long as the dialog is open.
    drive->Busy = 1;
    const bool ok = host_.RunDriveOptionsDialog(drive);
    drive = DriveAgain(generation, index);
    if (!drive) return;
    drive->Busy = 0;
    if (!ok) {
        RestoreStoredPart(*drive, saved);
    } else {
        SaveDriveModel(drive);
        SaveDriveInstance(drive);
        UnregisterHotKeys();
        RegisterHotKeys();
        SaveExportIfSet();
    }
    CheckDriveState(drive);
}

void App::EjectOrClose(uint32_t index, bool eject) {
    CdromDrive* drive = DriveAt(index);
    if (!drive) return;
    if (eject) {
        if (drive->AutoLock && GlobalSettings.Data[0]) {
            const uint32_t generation = DriveListGeneration();
            if (!host_.ConfirmPassword(GlobalSettings.Data)) return;
            if (!(drive = DriveAgain(generation, index))) return;
        }
        EjectCDROM(drive, 1);
        RefreshDiskContent();
        CheckDriveState(drive);
        return;
    }
    RefreshDiskContent();
    EjectCDROM(drive, 0);
    CheckDriveState(drive);
    if (!(drive->EventMask & kEventTrayClose) || drive->CurrentList().Selected == 0) return;
    if (drive->MediumPresent) {
        RestoreSpeed(drive);
    } else {
        // The disc takes a while to be seen: poll until it is, or give up.
        drive->RestoreCountdown = kPollTicks;
        (void)host_.StartTimer(kTimerFirstPoll + index, kTimerPeriodMs);
    }
}

void App::HotKey(uintptr_t hotKeyId) {
    if (const auto command = CommandForHotKey(hotKeyId)) host_.PostCommand(*command, 0);
}

}  // namespace tarvik
