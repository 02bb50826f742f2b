#pragma once
// The SPTI set: the transport's operations over the system's pass-through
// ioctl, its check as a step of SCSIInit and its drive search by letter.
#include <cstdint>

#include "scsi/request.h"
#include "scsi/transport.h"

namespace tarvik {

const ScsiTransport& SptiTransport();

// Checks that SPTI can be used on this system. 1 usable, else 0; sets SptiStatus.
int SptiInit();
// First drive letter from `from` ('A'..'Z') up whose type is CD-ROM; writes
// {0, 0, 0, letter} and returns 1, or returns 0 with the address unchanged.
int FindCdromLetter(uint32_t from, DriveAddress* address);
// Opens "\\.\X:" with the SPTI access mask, retrying a sharing violation.
// false with the system error code when it did not open.
[[nodiscard]] bool OpenDriveDevice(uint32_t letter, void** handle, uint32_t* error);

}  // namespace tarvik
