#pragma once
// The stored halves of a drive record: the drive model (what a drive of this
// name can do, its speed lists) under the settings key and the drive instance
// (the user's options for this copy of the model) below it.
#include "drive/drive.h"

namespace tarvik {

int LoadDriveModel(CdromDrive* drive);  // 1 only when every value was present
void SaveDriveModel(CdromDrive* drive);
int LoadDriveInstance(CdromDrive* drive);
void SaveDriveInstance(CdromDrive* drive);
// Only what was learnt about obeying the speed: an option never set stays
// unwritten, so its default is derived again at the next start.
void SaveDriveVerdicts(CdromDrive* drive);
// Only WinBackSpeed, for a front end that sets that option alone.
void SaveDriveWinBack(CdromDrive* drive);

}  // namespace tarvik
