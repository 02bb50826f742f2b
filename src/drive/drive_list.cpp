// The process-wide drive list, the drive names and the busy protocol.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/log.h"
#include "drive/drive.h"
#include "drive/drive_store.h"
#include "drive/medium.h"
#include "drive/speed_detect.h"
#include "scsi/transport.h"
#include "settings/store.h"

namespace tarvik {

CdromListType CdromList;

namespace {

DriveBusyNotifyFn g_busyNotify = nullptr;

// Which of the drive's own lists CurrentList points at: 0 CD, 1 DVD, 2 BD.
int CurrentListIndex(const CdromDrive& drive) {
    if (drive.CurrentList == &drive.SpeedListDVD) return 1;
    if (drive.CurrentList == &drive.SpeedListBD) return 2;
    return 0;
}

SpeedList* ListByIndex(CdromDrive& drive, int index) {
    switch (index) {
        case 1: return &drive.SpeedListDVD;
        case 2: return &drive.SpeedListBD;
        default: return &drive.SpeedListCD;
    }
}

// Grows the array by one zeroed record. CurrentList points into its own
// record, so moving the array would leave the recorded drives pointing into
// freed memory; the pointers are re-seated after the move.
CdromDrive* GrowDriveArray() {
    const uint32_t count = CdromList.count;
    int listIndex[kMaxDrives] = {};
    for (uint32_t i = 0; i < count; ++i) listIndex[i] = CurrentListIndex(CdromList.drives[i]);

    void* grown = CdromList.drives
                      ? std::realloc(CdromList.drives, sizeof(CdromDrive) * (count + 1))
                      : std::malloc(sizeof(CdromDrive));
    if (!grown) return nullptr;
    CdromList.drives = static_cast<CdromDrive*>(grown);
    for (uint32_t i = 0; i < count; ++i)
        CdromList.drives[i].CurrentList = ListByIndex(CdromList.drives[i], listIndex[i]);
    return new (&CdromList.drives[count]) CdromDrive{};
}

void SetInitialValues(CdromDrive& drive) {
    drive.SpeedListCD.Factor = kFactorCD;
    drive.SpeedListDVD.Factor = kFactorDVD;
    drive.SpeedListBD.Factor = kFactorBD;
    drive.CurrentList = &drive.SpeedListCD;
    drive.TrayClosed = 1;
}

void SetInstanceDefaults(CdromDrive& drive) {
    drive.EventMask = kEventStart | kEventDiskChange | kEventResume;
    drive.ForceRead = 1;
    drive.ShortMenu = drive.SpeedListCD.Count > 8 ? 1 : 0;
}

}  // namespace

void SetDriveBusyNotify(DriveBusyNotifyFn fn) { g_busyNotify = fn; }

bool BeginDriveOp(CdromDrive* drive) {
    if (!drive || drive->Busy) return false;
    drive->Busy = 1;
    if (g_busyNotify) g_busyNotify(1);
    return true;
}

void EndDriveOp(CdromDrive* drive) {
    if (!drive) return;
    drive->Busy = 0;
    if (g_busyNotify) g_busyNotify(0);
}

CdromDrive* DriveAt(uint32_t index) {
    if (!CdromList.drives || index >= CdromList.count) return nullptr;
    return &CdromList.drives[index];
}

int ReadDriveName(CdromDrive* drive) {
    DriveOp op(drive);
    if (!op) return 0;

    InquiryData inquiry;
    const int ok = GetCDROMInquiry(drive->Address, &inquiry);
    if (ok) {
        std::snprintf(drive->Name, sizeof drive->Name, "%s %s %s", inquiry.vendor, inquiry.product,
                      inquiry.revision);
    } else {
        std::snprintf(drive->Name, sizeof drive->Name, "%s", "<unknown>");
    }

    // The default short name is the first run of ASCII letters ("PLEXTOR",
    // "HL"), which is what users recognise a drive by in a narrow menu.
    const char* p = drive->Name;
    auto isLetter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    while (*p && !isLetter(*p)) ++p;
    unsigned n = 0;
    for (; n < kShortNameChars && isLetter(p[n]); ++n)
        drive->DefaultShortName[n] = static_cast<char16_t>(static_cast<unsigned char>(p[n]));
    drive->DefaultShortName[n] = u'\0';
    return ok;
}

void FreeDriveList() {
    CdromList.count = 0;
    std::free(CdromList.drives);
    CdromList.drives = nullptr;
}

int BuildDriveList() {
    for (uint32_t i = 0; i < CdromList.count; ++i) {
        if (CdromList.drives[i].Busy) {
            LogPrintf("BuildDriveList: [%s] is busy, list kept\n", CdromList.drives[i].Name);
            return 0;
        }
    }
    FreeDriveList();

    DriveAddress address;
    if (!Transport().FindFirstDrive(&address)) return 1;
    do {
        if (CdromList.count >= kMaxDrives) continue;  // the rest are passed over
        CdromDrive* drive = GrowDriveArray();
        if (!drive) continue;
        drive->Address = address;

        if (!ReadDriveName(drive) && !GlobalSettings.ShowUnknown) continue;

        for (uint32_t i = CdromList.count; i-- > 0;) {
            const CdromDrive& other = CdromList.drives[i];
            if (std::strcmp(other.Name, drive->Name) == 0) {
                drive->DupIndex = other.DupIndex + 1;
                break;
            }
        }

        SetInitialValues(*drive);
        if (!LoadDriveModel(drive)) {
            // First time this model is seen (or its key is damaged): learn
            // what it reads and which CD speeds it offers, then keep that.
            CheckReadCaps(drive);
            ScanCDROMSpeedAuto(drive, nullptr, nullptr);
            SaveDriveModel(drive);
        }
        SetInstanceDefaults(*drive);
        (void)LoadDriveInstance(drive);
        ++CdromList.count;
    } while (Transport().FindNextDrive(&address));
    return 1;
}

}  // namespace tarvik
