// The loops over all drives run on program start, disk change, resume,
// session end and timer ticks. Ignored drives are left alone by all of them.
#include "drive/all_drives.h"

#include <string>

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "drive/tray.h"
#include "platform/system.h"
#include "scsi/mmc.h"
#include "settings/store.h"

namespace tarvik {

namespace {

// Bit of a drive letter in a unit mask (bit 0 = A:), 0 when it has none.
uint32_t LetterBit(const CdromDrive& drive) {
    const uint32_t letter = drive.Address.letter;
    return letter >= 'A' && letter <= 'Z' ? 1u << (letter - 'A') : 0;
}

template <typename Fn>
void ForEachDrive(Fn fn) {
    for (CdromDrive& drive : CdromList.drives)
        if (!drive.Ignore) fn(&drive);
}

}  // namespace

void CheckAllDrives() {
    ForEachDrive([](CdromDrive* drive) { CheckDriveState(drive); });
}

bool EventConcernsDrive(const CdromDrive& drive, uint32_t eventBit, uint32_t letterMask) {
    if (drive.Ignore || !(drive.EventMask & eventBit)) return false;
    const uint32_t bit = LetterBit(drive);
    return !bit || !letterMask || (letterMask & bit);
}

void RestoreSpeedOnEvent(uint32_t eventBit, uint32_t letterMask) {
    ForEachDrive([=](CdromDrive* drive) {
        // The lock is ours to keep: re-applied whatever the event, but not
        // while the drive is in another operation's hands.
        if (drive->AutoLock && !drive->Busy && !PreventCDROMRemoval(drive->Address, 1))
            LogPrintf("    PreventCDROMRemoval(1) *FAILED*\n");
        CheckDriveState(drive);
        if (EventConcernsDrive(*drive, eventBit, letterMask)) RestoreSpeed(drive);
    });
}

uint32_t DisksPresentMask(int eject) {
    CheckAllDrives();
    const bool password = GlobalSettings.Data[0] != '\0';
    uint32_t mask = 0;
    ForEachDrive([&](CdromDrive* drive) {
        // A drive locked under an eject password stays shut at session end.
        if (drive->AutoLock && password) return;
        if (!drive->MediumPresent) return;
        if (eject) EjectCDROM(drive, 1);
        mask |= LetterBit(*drive) | 0x80000000u;
    });
    return mask;
}

uint32_t EjectAllDisks() { return DisksPresentMask(1); }

void CloseAllTrays() {
    ForEachDrive([](CdromDrive* drive) {
        if (drive->CanClose) EjectCDROM(drive, 0);
    });
}

int IsAllClosed() {
    LogPrintf("IsAllClosed\n");
    for (CdromDrive& record : CdromList.drives) {
        CdromDrive* drive = &record;
        LogPrintf("  [%s]\n", drive->Name);
        if (!drive->Ignore && drive->CanClose) {
            CheckDriveState(drive);
            if (IsTrayOpen(drive)) {
                LogPrintf("  FALSE\n");
                return 0;
            }
        }
        LogPrintf("    OK\n");
    }
    LogPrintf("  TRUE\n");
    return 1;
}

void RefreshDiskContent() {
    if (!GlobalSettings.ForceRefresh) return;
    System& sys = Sys();
    const uint32_t letters = sys.LogicalDrives();
    for (unsigned i = 0; i < 26; ++i) {
        if (!(letters & (1u << i))) continue;
        std::string root = "A:\\";
        root[0] = static_cast<char>('A' + i);
        // Asking for the volume makes the system notice a changed disc.
        if (sys.DriveType(root) == kDriveCdrom) (void)sys.VolumeInformation(root, nullptr, nullptr);
    }
}

}  // namespace tarvik
