#pragma once
// The command transport: one table of six operations, filled with the SPTI or
// ASPI set by SCSIInit (or with the simulator's set by tests and tarvikctl).
#include <cstddef>
#include <cstdint>
#include <string>

#include "scsi/request.h"

namespace tarvik {

using TransportHandle = void*;

// Sets are filled by field name (designated initializers): two operations of
// the same type in the wrong place would not show until a drive misbehaved.
struct ScsiTransport {
    void (*TransportClose)(TransportHandle handle);
    int (*TransportExecuteOn)(ScsiRequest* request, TransportHandle handle);
    // Opens the drive named by the request's address; on failure writes the
    // status fields into the request and returns null.
    TransportHandle (*TransportOpen)(ScsiRequest* request);
    int (*FindNextDrive)(DriveAddress* address);
    int (*FindFirstDrive)(DriveAddress* address);
    int (*TransportExecute)(ScsiRequest* request);
    // Non-zero when the system error code in a failed request's osError means
    // the device is no longer there. Null: Windows' codes (the SPTI and ASPI sets).
    int (*DeviceGone)(int32_t osError) = nullptr;
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

// What SCSIInit found of each transport (AspiStatus, SptiStatus).
enum AspiStatusCode : uint32_t {
    kAspiNotInitialized = 0,
    kAspiNotInstalled = 1,
    kAspiBroken = 2,
    kAspiOk = 3,
};
enum SptiStatusCode : uint32_t {
    kSptiNotInitialized = 0,
    kSptiNotSupported = 1,
    kSptiNoDrives = 2,
    kSptiAccessDenied = 3,
    kSptiOk = 4,
};

uint32_t GetTransportMode();
uint32_t GetAspiStatus();
uint32_t GetSptiStatus();
int IsDriveAccessBroken();
void GetLastScsiError(ScsiLastError* out);
void SetLastScsiError(const ScsiRequest& request);

// ---- drives that stopped answering ------------------------------------------
// A drive whose command timed out, or whose device has gone, is marked broken:
// every later command to it fails at once, without being sent, until the
// drive list is built again (Detect drives). One dead drive then costs one
// time-out, not one for every command of a start-up, a tick or a click.
enum class DriveFault : uint8_t { None, TimedOut, Gone };

// What a failed request says of its drive: TimedOut (ASPI SRB still pending,
// SPTI semaphore time-out), Gone (no such device, as the installed set's
// DeviceGone tells), else None.
DriveFault FaultOfRequest(const ScsiRequest& request);
DriveFault BrokenDriveFault(const DriveAddress& address);
inline bool IsDriveBroken(const DriveAddress& address) {
    return BrokenDriveFault(address) != DriveFault::None;
}
// Marks the request's drive when the request failed as above; logs it once.
void NoteRequestOutcome(const ScsiRequest& request);
// A request to a broken drive gets that drive's failure status and true:
// the caller must not send it.
[[nodiscard]] bool RefuseBroken(ScsiRequest* request);
void ClearBrokenDrives();
// TransportExecute, unless the drive is broken; notes what a failure says.
[[nodiscard]] int SendRequest(ScsiRequest* request);

// Back to the state at program start (tests). The parked ASPI blocks of timed
// out commands stay where they are.
void ResetTransportState();

// The two built-in sets and the steps of SCSIInit are aspi.h's and spti.h's.

// The SPTI access mask in force (GENERIC_READ, or GENERIC_READ | GENERIC_WRITE).
uint32_t GetSptiAccessMask();
// Number of ASPI host adapters the manager reported.
uint32_t GetAspiAdapterCount();
// Path of the loaded ASPI library (UTF-8), recorded for the drive information
// dialog; empty when none is loaded.
const std::string& GetAspiLibraryPath();

}  // namespace tarvik
