#pragma once
// The ASPI set: the transport's operations over the ASPI manager
// (wnaspi32.dll), its loading as a step of SCSIInit and its drive search.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scsi/request.h"
#include "scsi/transport.h"

namespace tarvik {

const ScsiTransport& AspiTransport();

// Loads the ASPI manager (once per process) and queries it. 1 usable, else 0;
// sets AspiStatus.
int AspiLoad();
// ASPI drive search from (firstAdapter, firstTarget) on; 1 found, 0 none.
int GetLetter(uint32_t firstAdapter, uint32_t firstTarget, DriveAddress* address);

// Called by AspiLoad right after the library is loaded, with its path.
using AspiLoadedFn = void (*)(const std::string& libraryPath);
void SetAspiLoadedNotify(AspiLoadedFn fn);
// ASPI command blocks left with the manager after a time-out (kept alive).
size_t ParkedAspiCommandCount();

}  // namespace tarvik
