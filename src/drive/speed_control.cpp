// Speed setting, restore and the drive's state.
#include "drive/speed_control.h"

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/medium.h"
#include "drive/speed_detect.h"
#include "drive/speed_obey.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "scsi/transport.h"
#include "settings/store.h"

namespace tarvik {

namespace {
// A stored method other than the two commands (a damaged registry value)
// counts as "not set", so the list still gets a usable command.
bool IsMethod(uint32_t m) { return m == kMethodSetCdSpeed || m == kMethodSetStreaming; }
}  // namespace

uint32_t ChooseSpeedMethod(const SpeedList& list, uint32_t hint) {
    if (IsMethod(list.MethodPrefered)) return list.MethodPrefered;
    if (IsMethod(list.MethodDetected)) return list.MethodDetected;
    if (hint == kMethodSetStreaming)
        return list.CanSetStreaming ? kMethodSetStreaming : kMethodSetCdSpeed;
    if (list.CanSetSpeed) return kMethodSetCdSpeed;
    if (list.CanSetStreaming) return kMethodSetStreaming;
    return kMethodSetCdSpeed;
}

uint32_t CommandForSpeed(const SpeedList& list, uint32_t speed) {
    const uint32_t n = EntryCount(list);
    for (uint32_t i = 0; i < n; ++i)
        if (list.Entries[i].Speed == speed) return list.Entries[i].Command;
    return speed;
}

void ReadAfterSpeed(CdromDrive* drive) {
    // Many drives take up a new speed only with the next read; reading two
    // blocks makes the change audible (and reportable) at once.
    const uint32_t last = ReadCDROMCapacity(drive->Address);
    if (last == 0) {
        LogPrintf("    ReadCDROMCapacity *FAILED*\n");
        return;
    }
    uint8_t block[kBlockSize];
    for (uint32_t lba : {last / 3, 2 * (last / 3)})
        if (!ReadCDROMBlocks(drive->Address, lba, 1, block))
            LogPrintf("    ReadCDROMBlocks(%u) *FAILED*\n", lba);
}

void SetSpeed(CdromDrive* drive, uint32_t command) {
    DriveOp op(drive);
    if (!op) return;
    const uint32_t before = drive->CurrentSpeed;
    const uint32_t write = drive->Caps.currentWriteSpeed;
    // The result changes nothing (the state check shows the speed in force),
    // but a log sent in with a complaint must say the drive refused.
    bool sent = false;
    if (ChooseSpeedMethod(drive->CurrentList(), kMethodAuto) == kMethodSetCdSpeed) {
        sent = SetCDROMSpeed(drive->Address, static_cast<int32_t>(command),
                             static_cast<int32_t>(write)) != 0;
        if (!sent) LogPrintf("    SetCDROMSpeed(%u) *FAILED*\n", command);
    } else {
        sent = SetDVDSpeed(drive->Address, command, write) != 0;
        if (!sent) LogPrintf("    SetDVDSpeed(%u) *FAILED*\n", command);
    }
    drive->SpeedCommandFailed = !sent;
    drive->SpeedCommandError = ScsiLastError{};
    if (!sent) GetLastScsiError(&drive->SpeedCommandError);
    if (drive->ForceRead) ReadAfterSpeed(drive);
    op.Release();
    CheckDriveState(drive);
    // What the drive reports now is what the program holds it at; the
    // state check reads it anyway, so learning from it costs no command.
    drive->SpeedHeld = sent ? drive->CurrentSpeed : 0;
    drive->WinBackSpent = 0;
    if (NoteSpeedAnswer(drive, command, before)) SaveDriveVerdicts(drive);
}

void RestoreSpeed(CdromDrive* drive) {
    const SpeedList& list = drive->CurrentList();
    const uint32_t selected = list.Selected;
    if (selected == 0) return;
    if (drive->OnlyWithDisk && !drive->MediumPresent) return;
    if (!drive->WhenAudio && IsAudioActive(drive->AudioStatus)) return;
    if (!drive->IgnoreSpeed && drive->CurrentSpeed != 0 && drive->CurrentSpeed <= selected) return;
    SetSpeed(drive, CommandForSpeed(list, selected));
}

void SpeedFaster(CdromDrive* drive) {
    const SpeedList& list = drive->CurrentList();
    for (uint32_t i = EntryCount(list); i-- > 0;) {
        if (list.Entries[i].Speed > drive->CurrentSpeed) {
            SetSpeed(drive, list.Entries[i].Command);
            return;
        }
    }
}

void SpeedSlower(CdromDrive* drive) {
    const SpeedList& list = drive->CurrentList();
    const uint32_t n = EntryCount(list);
    for (uint32_t i = 0; i < n; ++i) {
        if (list.Entries[i].Speed < drive->CurrentSpeed) {
            SetSpeed(drive, list.Entries[i].Command);
            return;
        }
    }
}

void CheckDriveState(CdromDrive* drive) {
    LogPrintf("CheckDriveState [%s]\n", drive->Name);
    DriveOp op(drive);
    if (!op) return;
    if (CheckDriveMode(drive)) SaveDriveModel(drive);
    // A list learnt with a pressed disc, the best there is, needs no class.
    if (drive->MediumPresent && drive->CurrentList().MaxLevel < uint32_t{kMediumPressed} &&
        !IsAudioActive(drive->AudioStatus))
        DetectMediumClass(drive);
    op.Release();

    // A list detected with a poorer disc (or none) is detected again as soon
    // as a better one is in: pressed over recordable over rewritable.
    if (static_cast<int64_t>(drive->CurrentList().MaxLevel) < drive->MediumClass) {
        const VerdictValues before = VerdictsOf(*drive);
        ScanCDROMSpeedAuto(drive, nullptr, nullptr);
        drive->CurrentList().MaxLevel = static_cast<uint32_t>(drive->MediumClass);
        SaveDriveModel(drive);
        if (VerdictsOf(*drive) != before) SaveDriveVerdicts(drive);
    }
    LogPrintf("FINISHED CheckDriveState\n");
}

}  // namespace tarvik
