// Medium and capability detection.
#include "drive/medium.h"

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/tray.h"
#include "platform/clock.h"
#include "scsi/errors.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "scsi/transport.h"

namespace tarvik {

namespace {

// A disc still spinning up reports neither a medium code nor a profile; drives
// that do report medium codes are given this many polls to settle.
constexpr int kMediaPolls = 30;
constexpr uint32_t kMediaPollMs = 500;

// The last failed command came back with a SCSI status: the drive itself
// answered, rather than the transport failing it.
bool ReachedDrive() {
    ScsiLastError e;
    GetLastScsiError(&e);
    return e.targetStatus != -1;
}

// The family decision: the medium code of the capabilities page first, then
// the current profile, then a guess; waits on drives known to sense media.
// m and p receive the last medium code and profile seen.
MediumFamily DecideFamily(CdromDrive* drive, uint32_t* m, int32_t* p) {
    *p = -1;
    for (int n = 0;;) {
        const int ok = GetCDROMInfo(drive->Address, &drive->Caps);
        LogPrintf("    GetCDROMInfo %s\n", ok ? "OK" : "*FAILED*");
        *m = drive->Caps.mediumType;
        if (IsMediumTypeCD(*m) || IsMediumTypeNoDisc(*m)) {
            LogPrintf("    Medium is CD\n");
            return MediumFamily::CD;
        }
        *p = GetCDROMProfile(drive->Address);
        LogPrintf("    GetCDROMProfile %s\n", *p == -1 ? "*FAILED*" : "OK");
        if (IsProfileCD(*p)) {
            LogPrintf("    Profile is CD\n");
            return MediumFamily::CD;
        }
        if (IsProfileDVD(*p)) {
            LogPrintf("    Profile is DVD\n");
            return MediumFamily::DVD;
        }
        if (IsProfileBD(*p)) {
            LogPrintf("    Profile is BD\n");
            return MediumFamily::BD;
        }
        if (IsMediumTypeOther(*m)) {
            LogPrintf("    Medium assumed to be CD (0x%02X)\n", *m);
            return MediumFamily::CD;
        }
        if (IsProfileKnown(*p)) {
            LogPrintf("    Profile assumed to be CD (0x%04X)\n", static_cast<unsigned>(*p));
            return MediumFamily::CD;
        }
        // A broken drive has no disc to wait for: its answers will not come.
        if (!drive->CanSenseMedium || IsDriveBroken(drive->Address)) {
            LogPrintf("    Can't sense it, let it be CD\n");
            return MediumFamily::CD;
        }
        // The waits are for a disc spinning up in a drive that answers. When
        // neither command got as far as the drive (gone, transport failed,
        // no answer in time), waiting only freezes the program for nothing.
        if (++n >= kMediaPolls || (!ok && *p == -1 && !ReachedDrive())) {
            LogPrintf("    Can't wait anymore, let it be CD\n");
            LogScsiError("");
            return MediumFamily::CD;
        }
        LogPrintf("    waiting for media [%02d]...\n", n);
        GetClock().Sleep(kMediaPollMs);
    }
}

// Some drives (an emulated ATAPI drive among them) answer 70h, "door closed,
// no disc", in the mode header whatever the tray and the disc do, while GET
// CONFIGURATION and TEST UNIT READY tell the truth. A 70h is weighed against
// the current profile; only when the profile names a disc does TEST UNIT READY
// decide, and when it says ready the disc is believed and the drive's 70h is
// worth nothing from then on (TEST UNIT READY then tells disc and tray alone).
// A drive that has shown another code is believed at once: its code moves.
// Returns true when a disc is there after all, with *family and *p from the
// profile; *m becomes what the other answers say (00h: a disc, 71h: the tray
// is open). When the answers agree, *p is left as it was.
bool DiscDespiteNoDiscCode(CdromDrive* drive, uint32_t* m, int32_t* p, MediumFamily* family) {
    const auto askProfile = [drive] {
        const int32_t profile = GetCDROMProfile(drive->Address);
        LogPrintf("    GetCDROMProfile %s\n", profile == -1 ? "*FAILED*" : "OK");
        return profile;
    };
    int32_t profile = -1;
    if (drive->NoDiscCodeWorth == NoDiscCode::Unknown) {
        profile = askProfile();
        if (profile <= 0) return false;  // no disc by the profile either: the answers agree
    }
    SenseInfo sense;
    int t = TestUnitReady(drive->Address, &sense);
    // A unit attention is the news of a disc change, not the answer.
    if (t == -1 && sense.key == kSenseUnitAttention) t = TestUnitReady(drive->Address, &sense);
    LogPrintf("    TestUnitReady=%d\n", t);
    if (t != 0) {
        if (sense.key == kSenseNotReady && sense.asc == 0x3A && sense.ascq == 0x02)
            *m = kMediumTypeDoorOpen;
        return false;
    }
    if (drive->NoDiscCodeWorth == NoDiscCode::Stuck) profile = askProfile();
    drive->NoDiscCodeWorth = NoDiscCode::Stuck;
    LogPrintf("    Medium code 0x70, but the drive is ready: disc present\n");
    *m = 0;
    *p = profile;
    *family = IsProfileDVD(profile)  ? MediumFamily::DVD
              : IsProfileBD(profile) ? MediumFamily::BD
                                     : MediumFamily::CD;
    return true;
}

}  // namespace

int32_t MediumClassFromCdMediumType(uint32_t mediumType) {
    if (IsMediumTypeCDROM(mediumType)) return kMediumPressed;
    if (IsMediumTypeCDR(mediumType)) return kMediumRecordable;
    if (IsMediumTypeCDRW(mediumType)) return kMediumRewritable;
    return kMediumUnknown;
}

int32_t MediumClassFromBookType(int bookType) {
    switch (bookType) {
        case 0: return kMediumPressed;  // DVD-ROM
        case 1:
        case 3:
        case 9: return kMediumRewritable;  // DVD-RAM, DVD-RW, DVD+RW
        case 2:
        case 10: return kMediumRecordable;  // DVD-R, DVD+R
        default: return kMediumUnknown;     // failed, HD DVD, DL, reserved
    }
}

int32_t MediumClassFromDiscType(const char* discType) {
    const auto is = [discType](const char* id) {
        return discType[0] == id[0] && discType[1] == id[1] && discType[2] == id[2] &&
               discType[3] == '\0';
    };
    if (is("BDO")) return kMediumPressed;
    if (is("BDR")) return kMediumRecordable;
    if (is("BDW")) return kMediumRewritable;
    return kMediumUnknown;
}

int CheckDriveMode(CdromDrive* drive) {
    LogPrintf("  CheckDriveMode\n");
    uint32_t m = 0;
    int32_t p = -1;
    MediumFamily family = DecideFamily(drive, &m, &p);
    const uint32_t code = m;  // as the drive said it, for the learning below
    bool discBelieved = false;
    if (m != 0 && m != kMediumTypeNoDisc && drive->NoDiscCodeWorth == NoDiscCode::Unknown)
        drive->NoDiscCodeWorth = NoDiscCode::Believed;
    if (m == kMediumTypeNoDisc && drive->NoDiscCodeWorth != NoDiscCode::Believed) {
        discBelieved = DiscDespiteNoDiscCode(drive, &m, &p, &family);
        drive->Caps.mediumType = static_cast<uint8_t>(m);
    }
    drive->CurrentFamily = family;
    SpeedList* list = &drive->CurrentList();
    drive->Profile = p;
    LogPrintf("  FINISHED CheckDriveMode\n");

    int changed = 0;
    const auto learn = [&changed](uint32_t& field, uint32_t value) {
        field = value;
        changed = 1;
    };
    const CdromCapabilities& caps = drive->Caps;
    if (!drive->CanClose && HasTrayLoader(caps)) learn(drive->CanClose, 1);
    if (!drive->CanSenseMedium && code != 0) learn(drive->CanSenseMedium, 1);
    if (!drive->IsDVD && (CanReadDVD(caps) || family == MediumFamily::DVD)) learn(drive->IsDVD, 1);
    if (!drive->IsBD && family == MediumFamily::BD) learn(drive->IsBD, 1);
    if (list->MaxSpeed < caps.maxReadSpeed) learn(list->MaxSpeed, caps.maxReadSpeed);
    if (!list->CanGetSpeed && caps.currentReadSpeed != 0) learn(list->CanGetSpeed, 1);

    if (IsMediumTypeNoDisc(m)) {
        drive->MediumPresent = 0;
        drive->MediumClass = kMediumNone;
    } else if (discBelieved || IsMediumTypeCD(m) || family != MediumFamily::CD || IsProfileCD(p)) {
        drive->MediumPresent = 1;
        drive->MediumClass = kMediumUnknown;
    } else {
        const int t = TestUnitReady(drive->Address);
        LogPrintf("    TestUnitReady=%d\n", t);
        drive->MediumPresent = t == 0 ? 1 : 0;
        drive->MediumClass = t == 0 ? kMediumUnknown : kMediumNone;
    }
    const bool present = drive->MediumPresent != 0;
    if (!IsTrayOpen(drive))
        drive->TrayOpenTick = 0;
    else if (drive->TrayOpenTick == 0)
        drive->TrayOpenTick = GetClock().TickCount();

    // A disc believed against its code has no code to say whether it holds audio.
    if (present && family == MediumFamily::CD &&
        (!drive->CanSenseMedium || IsMediumTypeAudio(m) || discBelieved)) {
        drive->AudioStatus = static_cast<uint32_t>(ReadCDROMAudioStatus(drive->Address));
        LogPrintf("    ReadCDROMAudioStatus=0x%02X\n", drive->AudioStatus);
    } else {
        drive->AudioStatus = 0;
    }

    drive->CurrentSpeed = caps.currentReadSpeed;
    const uint32_t method = list->MethodPrefered ? list->MethodPrefered : list->MethodDetected;
    if (method == kMethodSetStreaming || (method == kMethodAuto && !list->CanGetSpeed)) {
        drive->CurrentSpeed = GetDVDSpeed(drive->Address);
        LogPrintf("    GetDVDSpeed=%u\n", drive->CurrentSpeed);
        if (!list->CanGetStreaming && drive->CurrentSpeed != 0) learn(list->CanGetStreaming, 1);
    }
    if (list->MaxSpeed < drive->CurrentSpeed) learn(list->MaxSpeed, drive->CurrentSpeed);
    return changed;
}

void CheckReadCaps(CdromDrive* drive) {
    LogPrintf("CheckReadCaps [%s]\n", drive->Name);
    DriveOp op(drive);
    if (!op) return;
    drive->IsDVD = CheckCDROMFeature(drive->Address, FEATURE_DVD) ? 1 : 0;
    LogPrintf("    CheckCDROMFeature(FEATURE_DVD)=%d\n", static_cast<int>(drive->IsDVD));
    drive->IsBD = CheckCDROMFeature(drive->Address, FEATURE_BD) ? 1 : 0;
    LogPrintf("    CheckCDROMFeature(FEATURE_BD)=%d\n", static_cast<int>(drive->IsBD));
    op.Release();
    LogPrintf("FINISHED CheckReadCaps\n");
}

void DetectMediumClass(CdromDrive* drive) {
    if (drive->CurrentFamily == MediumFamily::DVD) {
        const int book = ReadDVDBookType(drive->Address);
        LogPrintf("    ReadDVDBookType=0x%X\n", static_cast<unsigned>(book));
        drive->MediumClass = MediumClassFromBookType(book);
    } else if (drive->CurrentFamily == MediumFamily::BD) {
        const uint32_t packed = ReadBlurayDiscType(drive->Address);
        const char type[4] = {static_cast<char>(packed & 0xFF),
                              static_cast<char>(packed >> 8 & 0xFF),
                              static_cast<char>(packed >> 16 & 0xFF), '\0'};
        LogPrintf("    ReadBlurayDiscType='%s'\n", type);
        drive->MediumClass = MediumClassFromDiscType(type);
    } else {
        drive->MediumClass = drive->MediumPresent
                                 ? MediumClassFromCdMediumType(drive->Caps.mediumType)
                                 : kMediumNone;
    }
}

}  // namespace tarvik
