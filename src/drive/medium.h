#pragma once
// Which medium family is in a drive, whether a disc is there, how good it is
// for speed detection, and what the drive model can do.
#include <cstdint>

#include "drive/drive.h"

namespace tarvik {

// Refreshes family (CurrentList), presence, tray, audio and current speed.
// Returns 1 when a stored capability of the drive model changed (the caller
// saves the model), else 0. Does not take Busy: its callers hold it.
int CheckDriveMode(CdromDrive* drive);

// Sets IsDVD and IsBD from the drive's feature list. Takes Busy.
void CheckReadCaps(CdromDrive* drive);

// Sets MediumClass for the family of CurrentList.
void DetectMediumClass(CdromDrive* drive);

// MediumClass from a DVD book type and from a BD disc type identifier.
int32_t MediumClassFromBookType(int bookType);
int32_t MediumClassFromDiscType(const char* discType);
int32_t MediumClassFromCdMediumType(uint32_t mediumType);

}  // namespace tarvik
