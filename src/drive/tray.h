#pragma once
// The tray: eject, close, whether it is open, and what the disc in it holds.
#include "drive/drive.h"

namespace tarvik {

// eject = 1 ejects, 0 closes.
void EjectCDROM(CdromDrive* drive, int eject);
// The one rule for an open tray, from the last state check: 1 when open.
int IsTrayOpen(const CdromDrive* drive);
int CheckTrayClosed(CdromDrive* drive);
int HasAutorunInf(const CdromDrive* drive);

}  // namespace tarvik
