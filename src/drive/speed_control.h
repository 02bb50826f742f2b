#pragma once
// Setting and restoring speeds, the drive's state, eject, close and lock, and
// the loops over all drives that events and timers run.
#include <cstdint>

#include "drive/drive.h"

namespace tarvik {

// The speed command a list uses (kMethodSetCdSpeed or kMethodSetStreaming);
// hint 2 favours SET STREAMING when nothing else decides.
uint32_t ChooseSpeedMethod(const SpeedList& list, uint32_t hint);

// The Command of the first entry whose Speed is speed; speed itself if none.
uint32_t CommandForSpeed(const SpeedList& list, uint32_t speed);

void SetSpeed(CdromDrive* drive, uint32_t command);
void ReadAfterSpeed(CdromDrive* drive);
void RestoreSpeed(CdromDrive* drive);
void SpeedFaster(CdromDrive* drive);
void SpeedSlower(CdromDrive* drive);
void CheckDriveState(CdromDrive* drive);

// eject = 1 ejects, 0 closes.
void EjectCDROM(CdromDrive* drive, int eject);
int CheckTrayClosed(CdromDrive* drive);
int HasAutorunInf(const CdromDrive* drive);

// Every drive of CdromList that is not ignored.
void CheckAllDrives();
void RestoreSpeedOnEvent(uint32_t eventBit, uint32_t letterMask);
// Whether RestoreSpeedOnEvent restores this drive's speed: not ignored, the
// event in its EventMask, and its letter in letterMask (0: every drive; a
// drive without a letter always).
bool EventConcernsDrive(const CdromDrive& drive, uint32_t eventBit, uint32_t letterMask);
// Bit (letter - 'A') for each drive with a disc and a letter, and bit 31 when
// any drive has a disc; 0 when no drive has one. eject = 1 also ejects them.
uint32_t DisksPresentMask(int eject);
uint32_t EjectAllDisks();
void CloseAllTrays();
int IsAllClosed();
void RefreshDiskContent();

}  // namespace tarvik
