#pragma once
// The Linux set: each command goes to the drive's /dev/sr* (or /dev/sg*) node
// with the SG_IO ioctl, through the SgOs seam. The set does not look for
// drives itself: the caller hands it the nodes drive discovery found.
//
// Status fields as the SPTI set fills them: osError holds the system's own
// error code (errno) when the call failed or the host adapter or driver gave
// up on the command; targetStatus and senseKey when the drive answered.
#include <cstddef>
#include <string>
#include <vector>

#include "scsi/transport.h"

namespace tarvik {

struct SgDrive {
    std::string node;      // "/dev/sr0"
    DriveAddress address;  // the kernel's host, target and LUN; no letter
};

// The drives FindFirstDrive/FindNextDrive walk, in this order. A drive whose
// address is already listed is left out (the set finds a node by address);
// returns how many were kept.
size_t SetSgDrives(std::vector<SgDrive> drives);
const std::vector<SgDrive>& SgDrives();

const ScsiTransport& SgTransport();

// Opens a node as the set does: read-write and non-blocking (a tray without a
// disc opens too). The kernel lets a read-only descriptor send only read-safe
// commands, and SET CD SPEED, SET STREAMING and PREVENT ALLOW are not among
// them; read-only is the fallback when write access is refused (*readOnly
// says so). The descriptor, or -1 with errno in *error.
int OpenSgNode(const std::string& node, int* error, bool* readOnly = nullptr);

constexpr unsigned kSgTimeoutMs = 30000;  // as long as the SPTI set waits

}  // namespace tarvik
