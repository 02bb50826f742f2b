// Eject, close and lock, and what the program knows about the tray.
#include "drive/tray.h"

#include <string>

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "platform/system.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "scsi/transport.h"

namespace tarvik {

namespace {
constexpr uint32_t kNoFile = 0xFFFFFFFFu;  // INVALID_FILE_ATTRIBUTES
}  // namespace

void EjectCDROM(CdromDrive* drive, int eject) {
    LogPrintf("EjectCDROM [%s] (%s)\n", drive->Name, eject ? "EJECT" : "CLOSE");
    DriveOp op(drive);
    drive->TrayCommandFailed = false;
    if (!op) return;
    // A locked drive refuses to eject, so our own lock comes off first.
    if (eject && !PreventCDROMRemoval(drive->Address, 0))
        LogPrintf("    PreventCDROMRemoval(0) *FAILED*\n");
    const bool moved = LoadEjectCDROM(drive->Address, eject) != 0;
    drive->TrayCommandFailed = !moved;
    drive->TrayCommandError = ScsiLastError{};
    if (moved) {
        drive->TrayClosed = eject ? 0 : 1;
    } else {
        // The tray stayed where it was: what the program knew of it holds.
        GetLastScsiError(&drive->TrayCommandError);
        LogPrintf("    LoadEjectCDROM *FAILED*\n");
    }
    if (drive->AutoLock && !PreventCDROMRemoval(drive->Address, 1))
        LogPrintf("    PreventCDROMRemoval(1) *FAILED*\n");
    op.Release();
    LogPrintf("FINISHED EjectCDROM\n");
}

int IsTrayOpen(const CdromDrive* drive) {
    // A drive that senses media says so itself; for the others, the last
    // eject or close we sent counts, unless a disc has been seen since.
    if (drive->CanSenseMedium) return drive->Caps.mediumType == kMediumTypeDoorOpen;
    if (drive->MediumPresent) return 0;
    return drive->TrayClosed == 0;
}

int CheckTrayClosed(CdromDrive* drive) {
    CheckDriveState(drive);
    if (!drive->CanClose) return 1;
    return IsTrayOpen(drive) ? 0 : 1;
}

int HasAutorunInf(const CdromDrive* drive) {
    const uint32_t letter = drive->Address.letter;
    if (letter < 'A' || letter > 'Z' || !drive->MediumPresent) return 0;
    if (IsMediumTypeAudio(drive->Caps.mediumType)) return 0;
    std::string path = "A:\\AUTORUN.INF";
    path[0] = static_cast<char>(letter);
    return Sys().FileAttributes(path) != kNoFile ? 1 : 0;
}

}  // namespace tarvik
