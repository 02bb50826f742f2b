// The timers of the main window and the system's notifications: the periodic
// drive check, the speed refresh, the automatic tray close, the poll after a
// close, device arrival and removal, resume, and the end of the session.
#include <algorithm>
#include <string>

#include "app/app.h"
#include "base/bytes.h"
#include "base/log.h"
#include "drive/all_drives.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "drive/speed_obey.h"
#include "drive/tray.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "scsi/mmc.h"
#include "settings/shell.h"
#include "settings/store.h"
#include "ui/dialogs/reminder.h"
#include "ui/text/strings.h"

namespace tarvik {

namespace {

constexpr uint64_t kCheckEveryMs = 5000;
constexpr uint64_t kRestoreMinPeriodMs = 500;
constexpr uint32_t kAutocloseMinMs = 3000;  // a shorter setting would close a tray being loaded
constexpr int64_t kBlinkBeforeCloseMs = 3000;
// The reminder delay as the options dialog offers it.
constexpr unsigned kReminderMinSeconds = 3;
constexpr unsigned kReminderMaxSeconds = 15;
constexpr uint64_t kEndSessionDialogMs = 5000;

int32_t ClampToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

App::DriveTimes& App::TimesOf(uint32_t index, uint64_t now) {
    // A new list starts its periods anew.
    if (timesGeneration_ != DriveListGeneration() || times_.size() != CdromList.count())
        ResetTimes(now);
    return times_[index];
}

void App::ResetTimes(uint64_t now) {
    times_.assign(CdromList.count(), DriveTimes{now, now, 0, false});
    timesGeneration_ = DriveListGeneration();
}

// ---- timers -----------------------------------------------------------------------

void App::Timer(uintptr_t timerId) {
    if (timerId == kTimerMain) return host_.PostCommand(CMD_TIMER_TICK, 0);
    if (timerId == 0) return;
    const unsigned drive = static_cast<unsigned>((timerId - kTimerFirstPoll) & 0xF);
    host_.PostCommand(DriveCommand{0, drive, DRIVE_CMD_CLOSE_POLL}.Encode(), 0);
}

void App::TimerTick() {
    const uint64_t now = NowMs();
    if (CdromList.count() == 0) {
        BlinkPhase = 0;
        return;
    }
    bool closingSoon = false;
    for (uint32_t i = 0; i < CdromList.count(); ++i) {
        CdromDrive* drive = &CdromList.drives[i];
        if (drive->Ignore || drive->Busy) continue;
        DriveTimes& times = TimesOf(i, now);

        // Each job runs when its period has passed since it last ran.
        if (now - times.lastCheckMs >= kCheckEveryMs) {
            times.lastCheckMs = now;
            LogPrintf("Timer: Checking drive [%s]\n", drive->Name);
            if (drive->AutoLock && !PreventCDROMRemoval(drive->Address, 1))
                LogPrintf("    PreventCDROMRemoval(1) *FAILED*\n");
            CheckDriveState(drive);
            // Another program may have raised the speed since: this check
            // has just read it, so winning it back costs no extra command.
            (void)WinBackSpeed(drive);
        }
        const uint64_t restoreMs = uint64_t{drive->Timer} * 1000;
        if (restoreMs >= kRestoreMinPeriodMs && now - times.lastRestoreMs >= restoreMs) {
            times.lastRestoreMs = now;
            LogPrintf("Timer: Restoring speed for [%s]\n", drive->Name);
            // A refresh every few seconds must not read the disc each time.
            const uint32_t forceRead = drive->ForceRead;
            drive->ForceRead = 0;
            RestoreSpeed(drive);
            drive->ForceRead = forceRead;
        }

        const uint32_t autoclose = GlobalSettings.TimerAutoclose;
        if (!GlobalSettings.EnableAutoclose || autoclose < kAutocloseMinMs) continue;
        // A tray the drive cannot pull in (slim and pop-up drives) is left to the
        // user, as by CloseAllTrays: the close would do nothing but mark the tray
        // closed, so a drive that cannot sense its medium would read closed while
        // it stands open, and a close would start the poll for a disc for nothing.
        if (!drive->CanClose || !IsTrayOpen(drive)) continue;
        // One close for each opening: a tray that stays out after it is not
        // pushed again every half second.
        if (times.autoClosed && times.autoClosedOpenTick == drive->TrayOpenTick) continue;
        LogPrintf("Timer: Tray open on [%s] at %u\n", drive->Name, drive->TrayOpenTick);
        // Wrap-safe; a stamp taken after this tick began counts as just now.
        const int32_t sinceOpen =
            static_cast<int32_t>(GetClock().TickCount() - drive->TrayOpenTick);
        const int64_t openFor = sinceOpen > 0 ? sinceOpen : 0;
        const int64_t delta = int64_t{autoclose} - openFor;
        LogPrintf("Timer: delta=%d\n", ClampToInt32(delta));
        if (delta <= 0) {
            times.autoClosed = true;
            times.autoClosedOpenTick = drive->TrayOpenTick;
            EjectOrClose(i, false);
        } else if (delta < kBlinkBeforeCloseMs) {
            closingSoon = true;
        }
    }
    BlinkPhase = closingSoon ? static_cast<int>(now / kTimerPeriodMs & 1) : 0;
}

void App::ClosePoll(uint32_t index) {
    CdromDrive* drive = DriveAt(index);
    if (!drive) return;
    CheckDriveState(drive);
    if (drive->MediumPresent) {
        RestoreSpeed(drive);
        drive->RestoreCountdown = 0;
        host_.StopTimer(kTimerFirstPoll + index);
        return;
    }
    // At or below zero, not only at zero: a record edited meanwhile cannot
    // keep the poll going for ever.
    if (--drive->RestoreCountdown <= 0) host_.StopTimer(kTimerFirstPoll + index);
}

// ---- system notifications -----------------------------------------------------------

void App::PowerBroadcast(uintptr_t event) {
    if (event == kPbtApmResumeCritical || event == kPbtApmResumeSuspend)
        host_.PostCommand(CMD_RESUME, 0);
}

void App::DeviceChange(uintptr_t event, const DeviceBroadcast& block) {
    LogPrintf("Got WM_DEVICECHANGE with wParam=0x%X\n", static_cast<unsigned>(event));
    if (event == kDbtDeviceArrival) {
        LogPrintf("Processing DBT_DEVICEARRIVAL\n");
        if (!block.volume) return;
        LogPrintf("New device is DBT_DEVTYP_VOLUME, unitmask=0x%X\n", block.unitMask);
        if (block.flags & kDbtfMedia) {
            LogPrintf("New media arrived\n");
            host_.PostCommand(CMD_MEDIA_ARRIVED, block.unitMask);
            return;
        }
        if (block.flags & kDbtfNet) return;
        LogPrintf("NOT media, NOT network - maybe CDROM?\n");
        uint32_t mask = block.unitMask;
        for (char letter = 'A'; letter <= 'Z' && mask; ++letter, mask >>= 1) {
            if (!(mask & 1)) continue;
            if (Sys().DriveType(std::string(1, letter) + ":\\") == kDriveCdrom) {
                LogPrintf("New volume is CDROM - rescanning CDROM's\n");
                host_.PostCommand(CMD_DETECT_DRIVES, 0);
                return;
            }
        }
        LogPrintf("No, it's not CDROM.\n");
    } else if (event == kDbtDeviceRemoveComplete) {
        LogPrintf("Processing DBT_DEVICEREMOVECOMPLETE\n");
        if (!block.volume) return;
        LogPrintf("Removed device is DBT_DEVTYP_VOLUME, unitmask=0x%X\n", block.unitMask);
        if (block.flags & kDbtfMedia) {
            LogPrintf("Media removed\n");
            host_.PostCommand(CMD_MEDIA_REMOVED, 0);
        } else if (!(block.flags & kDbtfNet)) {
            LogPrintf("NOT media, NOT network - rescanning CDROM's\n");
            host_.PostCommand(CMD_DETECT_DRIVES, 0);
        }
    }
}

void App::DpiChanged(int dpi) {
    // A hidden icon is not there: nothing about it may change in the shell.
    host_.TrayUseDpi(dpi, !IconHidden && !destroyed_);
}

void App::TaskbarCreated(int dpi) {
    LogPrintf("Got TaskbarCreated notification\n");
    // A new shell after a change of scale: the pictures for it. The adding
    // below shows them; the new shell has no icon yet to modify.
    host_.TrayUseDpi(dpi, false);
    if (IconHidden) return;
    (void)host_.TrayAdd();
    host_.TrayUpdate();
}

// ---- end of the session --------------------------------------------------------------

unsigned App::ReminderSeconds() const {
    // The registry may hold anything; the dialog offers 3 to 15 seconds.
    return std::clamp<unsigned>(GlobalSettings.DNTimer, kReminderMinSeconds, kReminderMaxSeconds);
}

bool App::BlockReason(unsigned stringId, const std::u16string& extra) {
    return host_.SetBlockReason(std::u16string(ResString(stringId)) + extra);
}

int App::BlockReasonCountdown(unsigned stringId, bool (*condition)(), unsigned seconds,
                              unsigned shortcut, const std::u16string& extra) {
    const bool result = BlockReason(stringId);
    while (seconds > 0) {
        GetClock().Sleep(1000);
        if (shortcut < seconds && condition()) {
            if (shortcut == 0) break;
            seconds = shortcut;  // the rest of the wait shrinks to the shortcut
        } else {
            --seconds;
        }
        std::u16string text = u" (";
        for (char c : std::to_string(seconds)) text += static_cast<char16_t>(c);
        text += u")\n";
        (void)BlockReason(stringId, text + extra);
    }
    return result ? 1 : 0;
}

void App::DiskCountdown(unsigned seconds, unsigned inDialog) {
    const unsigned m = std::min(seconds, inDialog);
    if (m > 0) {
        (void)host_.ShowDiskReminder(m);
        seconds -= m;
    }
    if (seconds == 0) {
        (void)BlockReason(IDS_DISK_INSERTED);
        return;
    }
    (void)BlockReasonCountdown(IDS_DISK_INSERTED, NoDiskPresent, seconds, 5,
                               DiskListText(DisksPresentMask(0)));
}

void App::TrayCountdown(unsigned seconds, bool close, unsigned inDialog) {
    const unsigned m = std::min(seconds, inDialog);
    bool closed = false;
    if (m > 0) {
        // A time-out here closes nothing; "Close tray" closes them all.
        closed = host_.ShowTrayReminder(m, false) == kReminderAction;
        seconds -= m;
    }
    (void)BlockReasonCountdown(IDS_TRAY_OPENED, AllTraysClosed, seconds, 0, {});
    // Not a second time when the reminder has closed them already.
    if (close && !closed) CloseAllTrays();
}

// The reminders are dialogs: a restart while one is open must not destroy the
// window (and free the drives) under the steps still to come.
void App::QueryEndSession() {
    if (!destroyed_) AsCommand([this] { QueryEndSessionSteps(); });
}

void App::EndSession(bool ending) {
    if (!destroyed_) AsCommand([this, ending] { EndSessionSteps(ending); });
}

void App::QueryEndSessionSteps() {
    LogPrintf("OnQueryEndSession\n");
    queryEndSessionMs_ = NowMs();
    if (GlobalSettings.DNEject) {
        (void)BlockReason(IDS_DISK_INSERTED);
        LogPrintf("    EjectAllDisks\n");
        (void)EjectAllDisks();
        if ((GlobalSettings.DNMessage || GlobalSettings.DNClose) && !IsAllClosed())
            (void)BlockReason(IDS_TRAY_OPENED);
    } else if (GlobalSettings.DNMessage) {
        if (DisksPresentMask(0) != 0) {
            if (!BlockReason(IDS_DISK_INSERTED)) (void)host_.ShowDiskReminder(ReminderSeconds());
        } else if (!IsAllClosed()) {
            (void)BlockReason(IDS_TRAY_OPENED);
        }
    } else if (GlobalSettings.DNClose && !IsAllClosed()) {
        (void)BlockReason(IDS_TRAY_OPENED);
    }
    LogPrintf("OnQueryEndSession DONE\n");
}

void App::EndSessionSteps(bool ending) {
    if (!ending) {
        // Another program said no: the session goes on, and so do we.
        LogPrintf("OnEndSession cancelled\n");
        host_.ClearBlockReason();
        return;
    }
    const uint64_t elapsed = NowMs() - queryEndSessionMs_;
    unsigned inDialog =
        elapsed < kEndSessionDialogMs ? static_cast<unsigned>(5 - elapsed / 1000) : 0;
    LogPrintf("OnEndSession\n");
    const unsigned seconds = ReminderSeconds();
    if (GlobalSettings.DNMessage && DisksPresentMask(0) != 0 && GetWinVersion() > kWinVersionNt6) {
        DiskCountdown(seconds, inDialog);
        inDialog = 0;
    }
    if (!IsAllClosed()) {
        if (GlobalSettings.DNMessage) {
            if (GetWinVersion() > kWinVersionNt6)
                TrayCountdown(seconds, GlobalSettings.DNClose != 0, inDialog);
            else  // the reminder closes the trays itself when asked to
                (void)host_.ShowTrayReminder(seconds, GlobalSettings.DNClose != 0);
        } else if (GlobalSettings.DNClose) {
            TrayCountdown(seconds, true, 0);
        }
    }
    // The process may not see WM_DESTROY after this: the export is written now.
    if (GlobalSettings.SavePath[0]) SaveConfigToFile(GlobalSettings.SavePath);
    host_.ClearBlockReason();
    LogPrintf("OnEndSession DONE\n");
}

}  // namespace tarvik
