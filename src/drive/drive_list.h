#pragma once
// The process-wide drive list: its building from the transport's drives, the
// drive names, and the busy protocol that keeps a record in use from being
// freed under its user.
#include <cstdint>

#include "drive/drive.h"

namespace tarvik {

// The process-wide drive list.
extern CdromListType CdromList;

// ---- busy protocol ----------------------------------------------------------
// Observer of drive operations: started = 1 when one begins, 0 when it ends.
using DriveBusyNotifyFn = void (*)(int started);
void SetDriveBusyNotify(DriveBusyNotifyFn fn);

// Takes the drive's Busy flag. Returns false (and does nothing) when the drive
// is already in use, in which case the caller must return without effect.
[[nodiscard]] bool BeginDriveOp(CdromDrive* drive);
void EndDriveOp(CdromDrive* drive);

// Scoped form of the pair: owns the flag when it could take it.
class DriveOp {
public:
    explicit DriveOp(CdromDrive* drive) : drive_(BeginDriveOp(drive) ? drive : nullptr) {}
    ~DriveOp() { Release(); }
    DriveOp(const DriveOp&) = delete;
    DriveOp& operator=(const DriveOp&) = delete;
    explicit operator bool() const { return drive_ != nullptr; }
    void Release() {
        if (drive_) EndDriveOp(drive_);
        drive_ = nullptr;
    }

private:
    CdromDrive* drive_;
};

// ---- drive list -------------------------------------------------------------
// Frees the list and builds it anew from the transport's drives. Returns 0
// without touching the list while any drive is busy: a dialog or a scan
// running its own message loop still holds a pointer to its record, so the
// caller must try again once that has ended. Returns 1 when the list was built.
int BuildDriveList();
void FreeDriveList();
// The defaults of the options an instance does not store: ShortMenu follows
// the count of the CD list, so the model's lists are loaded first.
void SetInstanceDefaults(CdromDrive& drive);
// Fills Name and DefaultShortName; non-zero when INQUIRY succeeded.
int ReadDriveName(CdromDrive* drive);
// Changes whenever the list is built or freed, so code that ran a message
// loop (a dialog, a menu) can tell that the records it held are gone.
uint32_t DriveListGeneration();
// Drive i of CdromList, or null when there is none.
CdromDrive* DriveAt(uint32_t index);

}  // namespace tarvik
