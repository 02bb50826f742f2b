#pragma once
// The command transport: one table of six operations, filled with the SPTI or
// ASPI set by SCSIInit (or with the simulator's set by tests and tarvikctl).
#include <cstdint>

#include "scsi/request.h"

namespace tarvik {

using TransportHandle = void*;

struct ScsiTransport {
    void (*TransportClose)(TransportHandle handle);
    int (*TransportExecuteOn)(ScsiRequest* request, TransportHandle handle);
    // Opens the drive named by the request's address; on failure writes the
    // status fields into the request and returns null.
    TransportHandle (*TransportOpen)(ScsiRequest* request);
    int (*FindNextDrive)(DriveAddress* address);
    int (*FindFirstDrive)(DriveAddress* address);
    int (*TransportExecute)(ScsiRequest* request);
};

enum : uint32_t { kTransportSpti = 1, kTransportAspi = 2 };

// ApiPrefered flags
enum : uint32_t { kPreferSpti = 1, kPreferAspi = 2, kDisableAspi = 4 };

// The active table. Never null: before SCSIInit it is the ASPI set without a
// library, so every command fails cleanly.
const ScsiTransport& Transport();

// Installs another set (the simulator's). Returns the one it replaced.
const ScsiTransport* InstallTransport(const ScsiTransport* set, uint32_t mode);

uint32_t SCSIInit(uint32_t flags);
[[nodiscard]] int ScsiExecute(ScsiRequest* request);

uint32_t GetTransportMode();
uint32_t GetAspiStatus();
uint32_t GetSptiStatus();
int IsDriveAccessBroken();
void GetLastScsiError(ScsiLastError* out);
void SetLastScsiError(const ScsiRequest& request);

// String ids of the state texts (118 + ASPI code, 122 + SPTI code, 127 unknown).
unsigned AspiStatusStringId(uint32_t code);
unsigned SptiStatusStringId(uint32_t code);

// Back to the state at program start (tests).
void ResetTransportState();

}  // namespace tarvik
