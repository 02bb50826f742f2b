#pragma once
// The loops over every drive of CdromList that events, timers and the end of
// the session run.
#include <cstdint>

#include "drive/drive.h"

namespace tarvik {

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
