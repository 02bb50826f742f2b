#pragma once
// The record of one optical drive and the list type that holds them (the
// process-wide list, its building and the busy protocol: drive_list.h).
#include <cstdint>
#include <vector>

#include "scsi/mmc.h"
#include "scsi/request.h"

namespace tarvik {

enum MediumClass : int32_t {
    kMediumNone = 0,
    kMediumUnknown = 1,
    kMediumRewritable = 2,
    kMediumRecordable = 4,
    kMediumPressed = 8,
};

enum SpeedMethod : uint32_t {
    kMethodAuto = 0,
    kMethodSetCdSpeed = 1,
    kMethodSetStreaming = 2,
};

constexpr uint32_t kFactorCD = 176;
constexpr uint32_t kFactorDVD = 1385;
constexpr uint32_t kFactorBD = 4495;
constexpr unsigned kMaxSpeedEntries = 128;
constexpr unsigned kMaxDrives = 16;
constexpr unsigned kHotKeySlots = 7;
constexpr unsigned kShortNameChars = 10;

struct SpeedEntry {
    uint32_t Speed = 0;    // KB/s the drive reported (or was measured) for Command
    uint32_t Command = 0;  // KB/s to put into the speed command to get Speed
};

struct SpeedList {
    uint32_t Factor = 0;
    uint32_t CanGetSpeed = 0;
    uint32_t CanSetSpeed = 0;
    uint32_t CanGetStreaming = 0;
    uint32_t CanSetStreaming = 0;
    uint32_t MethodDetected = 0;
    uint32_t MethodPrefered = 0;
    uint32_t MaxLevel = 0;
    uint32_t MaxSpeed = 0;
    uint32_t Selected = 0;
    uint32_t Count = 0;
    SpeedEntry Entries[kMaxSpeedEntries] = {};
};

// The medium families a drive keeps a speed list for. None only in a record
// whose lists are not set up yet.
enum class MediumFamily : uint8_t { None, CD, DVD, BD };

// What the drive's "door closed, no disc" medium code (70h) is worth: not yet
// known; believed (the drive has shown other codes); or stuck (the drive says
// it whatever is in the tray, as its profile and TEST UNIT READY showed).
enum class NoDiscCode : uint8_t { Unknown, Believed, Stuck };

// Whether a drive does what the speed commands say, for one medium family.
// Stored, so the values are fixed.
enum SpeedVerdict : uint32_t {
    kVerdictUnknown = 0,
    kVerdictObeys = 1,
    kVerdictIgnores = 2,  // takes the commands, keeps its own speed
    kVerdictRefuses = 3,  // both speed commands end in ILLEGAL REQUEST
};

// Whether the current speed a drive reports moves with the speed set: only
// then can a state check see another program change it.
enum SpeedReport : uint32_t {
    kReportUnknown = 0,
    kReportFollows = 1,
    kReportFixed = 2,
};

// What the last Measure detection made of its rates: none (no Measure, or too
// few rates to tell); they follow the command; they stay flat whatever is set;
// they are noise; no read could be timed at all (a disc too small or
// unreadable). Flat, noise and unmeasured lists are not kept.
// MediumGone and DriveGone: the Measure stopped because the disc was taken
// out or the drive went away.
enum class MeasureJudgement : uint8_t {
    None,
    Follows,
    Flat,
    Noise,
    Unmeasured,
    MediumGone,
    DriveGone
};

// Event bits of EventMask.
enum : uint32_t {
    kEventStart = 0x01,
    kEventDiskChange = 0x02,
    kEventResume = 0x08,
    kEventTrayClose = 0x10,
};

struct CdromDrive {
    // identity
    char Name[32] = {};
    char16_t DefaultShortName[kShortNameChars + 1] = {};
    int32_t DupIndex = 0;
    // drive model
    uint32_t CanClose = 0;
    uint32_t CanSenseMedium = 0;
    uint32_t IsDVD = 0;
    uint32_t IsBD = 0;
    SpeedList SpeedListCD;
    SpeedList SpeedListDVD;
    SpeedList SpeedListBD;
    // instance options
    uint32_t Ignore = 0;
    uint32_t EventMask = 0;
    uint32_t OnlyWithDisk = 0;
    uint32_t WhenAudio = 0;
    uint32_t IgnoreSpeed = 0;
    uint32_t ShortMenu = 0;
    uint32_t ForceRead = 0;
    uint32_t AutoLock = 0;
    uint32_t Timer = 0;
    // Set the selected speed again when another program raised it (only where
    // the drive's report follows the command).
    uint32_t WinBack = 0;
    // What this drive was found to do with the speed, per family (instance
    // values: a drive model may vary in firmware; forgotten when the model is
    // examined anew).
    uint32_t VerdictCD = kVerdictUnknown;
    uint32_t VerdictDVD = kVerdictUnknown;
    uint32_t VerdictBD = kVerdictUnknown;
    uint32_t ReportCD = kReportUnknown;
    uint32_t ReportDVD = kReportUnknown;
    uint32_t ReportBD = kReportUnknown;
    uint32_t HotKeys[kHotKeySlots] = {};
    char16_t ShortName[kShortNameChars + 1] = {};
    // where the transport finds it
    DriveAddress Address;
    // live state, never stored
    uint32_t CurrentSpeed = 0;
    uint32_t MediumPresent = 0;
    uint32_t TrayClosed = 0;
    CdromCapabilities Caps;
    int32_t Profile = 0;
    uint32_t AudioStatus = 0;
    int32_t MediumClass = 0;
    MediumFamily CurrentFamily = MediumFamily::None;
    uint32_t Busy = 0;
    int32_t RestoreCountdown = 0;
    uint32_t TrayOpenTick = 0;
    NoDiscCode NoDiscCodeWorth = NoDiscCode::Unknown;
    // How the last speed command SetSpeed sent ended. The program goes on the
    // same either way (the state check shows the speed in force); a front end
    // that was asked for a speed tells the user the drive or system refused.
    bool SpeedCommandFailed = false;
    ScsiLastError SpeedCommandError;
    // The same for the last eject or close: a drive that refused it (a locked
    // tray: 05/53/02) left the tray where it was.
    bool TrayCommandFailed = false;
    ScsiLastError TrayCommandError;
    // What SetSpeed's answers taught so far, for the verdict (live only):
    // the speed the drive stayed at while asked for much more and for much
    // less (bit 1 more, bit 2 less).
    uint32_t StayedAt = 0;
    uint32_t StayedWays = 0;
    // The speed the drive reported after the program's own last speed
    // command (0: nothing to win back), and a raised speed already answered
    // once (a change the drive would not give up is not fought again).
    uint32_t SpeedHeld = 0;
    uint32_t WinBackSpent = 0;
    MeasureJudgement LastMeasure = MeasureJudgement::None;

    // The list of a family, and of the family now in the drive. The record
    // names its family rather than pointing into itself, so a copy is a whole
    // drive (the drive options dialog edits one). A record whose lists are not
    // set up answers with its CD list.
    SpeedList& ListOf(MediumFamily family) {
        switch (family) {
            case MediumFamily::DVD: return SpeedListDVD;
            case MediumFamily::BD: return SpeedListBD;
            default: return SpeedListCD;
        }
    }
    const SpeedList& ListOf(MediumFamily family) const {
        return const_cast<CdromDrive*>(this)->ListOf(family);
    }
    uint32_t& VerdictOf(MediumFamily family) {
        return family == MediumFamily::DVD  ? VerdictDVD
               : family == MediumFamily::BD ? VerdictBD
                                            : VerdictCD;
    }
    uint32_t VerdictOf(MediumFamily family) const {
        return const_cast<CdromDrive*>(this)->VerdictOf(family);
    }
    uint32_t& ReportOf(MediumFamily family) {
        return family == MediumFamily::DVD  ? ReportDVD
               : family == MediumFamily::BD ? ReportBD
                                            : ReportCD;
    }
    uint32_t ReportOf(MediumFamily family) const {
        return const_cast<CdromDrive*>(this)->ReportOf(family);
    }
    SpeedList& CurrentList() { return ListOf(CurrentFamily); }
    const SpeedList& CurrentList() const { return ListOf(CurrentFamily); }
};

// At most kMaxDrives records; an index stays valid until the list is rebuilt.
struct CdromListType {
    std::vector<CdromDrive> drives;
    uint32_t count() const { return static_cast<uint32_t>(drives.size()); }
};

// Valid entries of a list: Count, but never more than the array holds, so a
// corrupt count can't walk off the end.
inline uint32_t EntryCount(const SpeedList& list) {
    return list.Count < kMaxSpeedEntries ? list.Count : kMaxSpeedEntries;
}

}  // namespace tarvik
