// The process-wide drive list, the drive names and the busy protocol.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/medium.h"
#include "drive/speed_detect.h"
#include "drive/speed_obey.h"
#include "scsi/transport.h"
#include "settings/store.h"

namespace tarvik {

CdromListType CdromList;

namespace {

DriveBusyNotifyFn g_busyNotify = nullptr;
uint32_t g_generation = 0;

void SetInitialValues(CdromDrive& drive) {
    drive.SpeedListCD.Factor = kFactorCD;
    drive.SpeedListDVD.Factor = kFactorDVD;
    drive.SpeedListBD.Factor = kFactorBD;
    drive.CurrentFamily = MediumFamily::CD;
    drive.TrayClosed = 1;
}

}  // namespace

void SetInstanceDefaults(CdromDrive& drive) {
    drive.EventMask = kEventStart | kEventDiskChange | kEventResume;
    drive.ForceRead = 1;
    drive.ShortMenu = drive.SpeedListCD.Count > 8 ? 1 : 0;
}

void SetDriveBusyNotify(DriveBusyNotifyFn fn) { g_busyNotify = fn; }

bool BeginDriveOp(CdromDrive* drive) {
    if (!drive || drive->Busy) return false;
    // A broken drive is left alone until the list is built again: whatever
    // the operation, all it could do is fail, some of it only after waits.
    if (IsDriveBroken(drive->Address)) return false;
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
    return index < CdromList.count() ? &CdromList.drives[index] : nullptr;
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
        // Without ShowUnknown the drive is left out: the log must say why.
        LogPrintf("    GetCDROMInquiry *FAILED*\n");
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

uint32_t DriveListGeneration() { return g_generation; }

void FreeDriveList() {
    ++g_generation;
    // swap, not clear: the memory goes back too.
    std::vector<CdromDrive>().swap(CdromList.drives);
}

int BuildDriveList() {
    for (const CdromDrive& drive : CdromList.drives) {
        if (drive.Busy) {
            LogPrintf("BuildDriveList: [%s] is busy, list kept\n", drive.Name);
            return 0;
        }
    }
    FreeDriveList();
    ClearBrokenDrives();  // every drive gets its chance again

    DriveAddress address;
    if (!Transport().FindFirstDrive(&address)) return 1;
    // The records are filled in place; the room for all of them is taken at
    // once so the one being filled never moves.
    CdromList.drives.reserve(kMaxDrives);
    do {
        if (CdromList.count() >= kMaxDrives) continue;  // the rest are passed over
        CdromDrive* drive = &CdromList.drives.emplace_back();
        drive->Address = address;

        if (!ReadDriveName(drive) && !GlobalSettings.ShowUnknown) {
            CdromList.drives.pop_back();
            continue;
        }

        for (uint32_t i = CdromList.count() - 1; i-- > 0;) {
            const CdromDrive& other = CdromList.drives[i];
            if (std::strcmp(other.Name, drive->Name) == 0) {
                drive->DupIndex = other.DupIndex + 1;
                break;
            }
        }

        SetInitialValues(*drive);
        const bool examined = !LoadDriveModel(drive);
        if (examined) {
            // First time this model is seen (or its key is damaged): learn
            // what it reads and which CD speeds it offers, then keep that;
            // but not what a drive that stopped answering half way "offered".
            CheckReadCaps(drive);
            ScanCDROMSpeedAuto(drive, nullptr, nullptr);
            if (!IsDriveBroken(drive->Address)) SaveDriveModel(drive);
        }
        const VerdictValues fresh = VerdictsOf(*drive);
        SetInstanceDefaults(*drive);
        const bool stored = LoadDriveInstance(drive) != 0;
        // What was found about obeying the speed belongs to the lists it was
        // found with: a model examined anew starts from what this detection saw,
        // and keeps it for the next start.
        if (examined && (VerdictsOf(*drive) != fresh || (!stored && fresh != VerdictValues{}))) {
            SetVerdicts(drive, fresh);
            if (!IsDriveBroken(drive->Address)) SaveDriveVerdicts(drive);
        }
    } while (Transport().FindNextDrive(&address));
    return 1;
}

}  // namespace tarvik
