#pragma once
// Setting and restoring speeds, and the drive's state. The tray is in
// drive/tray.h, the loops over all drives in drive/all_drives.h.
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

}  // namespace tarvik
