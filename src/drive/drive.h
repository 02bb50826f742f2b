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
