#include "scsi/transport.h"

#include <cstdio>

#include "base/log.h"
#include "platform/clock.h"
#include "scsi/aspi.h"
#include "scsi/sense.h"
#include "scsi/spti.h"
#include "scsi/transport_state.h"

namespace tarvik {
namespace detail {

TransportState& State() {
    static TransportState state;
    return state;
}

}  // namespace detail

using detail::State;

namespace {

constexpr int kExecuteAttempts = 3;
constexpr uint32_t kNotReadyWaitMs = 500;

// System error codes of a pass-through that ran out of time, and of a device
// that is no longer there (its letter's device cannot be found, or the bus
// lost it).
constexpr int32_t kErrorSemTimeout = 121;
constexpr int32_t kErrorDeviceNotConnected = 1167;
constexpr int32_t kCheckConditionStatus = 2;

bool SameDrive(const DriveAddress& a, const DriveAddress& b) {
    return a.adapter == b.adapter && a.target == b.target && a.lun == b.lun && a.letter == b.letter;
}

DriveAddress AddressOf(const ScsiRequest& r) {
    return DriveAddress{r.adapter, r.target, r.lun, r.letter};
}

const detail::BrokenDrive* FindBroken(const DriveAddress& address) {
    for (const detail::BrokenDrive& b : State().broken)
        if (SameDrive(b.address, address)) return &b;
    return nullptr;
}

void Install(const ScsiTransport& set, uint32_t mode) {
    State().active = &set;
    State().mode = mode;
}

}  // namespace

const ScsiTransport& Transport() {
    // Until SCSIInit runs, the ASPI set without a library: every command fails.
    const ScsiTransport* active = State().active;
    return active ? *active : AspiTransport();
}

const ScsiTransport* InstallTransport(const ScsiTransport* set, uint32_t mode) {
    const ScsiTransport* old = &Transport();
    if (set) Install(*set, mode);
    return old;
}

uint32_t SCSIInit(uint32_t flags) {
    if (flags & kDisableAspi) {
        // The user ruled ASPI out: SPTI is installed even when it is unusable,
        // so commands fail through it and the tray shows the broken state.
        (void)SptiInit();
        Install(SptiTransport(), kTransportSpti);
        return kTransportSpti;
    }
    if (!AspiLoad()) {
        (void)SptiInit();
        Install(SptiTransport(), kTransportSpti);
        return kTransportSpti;
    }
    if (!SptiInit() || (flags & kPreferAspi)) {
        Install(AspiTransport(), kTransportAspi);
        return kTransportAspi;
    }
    Install(SptiTransport(), kTransportSpti);
    return kTransportSpti;
}

// Sends the request with up to three attempts. NOT READY (a disc spinning up)
// gets half a second before the next try, UNIT ATTENTION (a medium change just
// reported) is repeated at once; anything else is final. Non-zero on success;
// on failure ScsiLastError holds the request's status values.
int ScsiExecute(ScsiRequest* request) {
    if (!request) return 0;
    const ScsiRequest original = *request;
    for (int attempt = 1;; ++attempt) {
        const int result = SendRequest(request);
        if (result) return result;
        if (attempt == kExecuteAttempts) break;
        if (request->senseKey == kSenseNotReady) {
            GetClock().Sleep(kNotReadyWaitMs);
        } else if (request->senseKey != kSenseUnitAttention) {
            break;
        }
        *request = original;
    }
    SetLastScsiError(*request);
    return 0;
}

uint32_t GetTransportMode() { return State().mode; }
uint32_t GetAspiStatus() { return State().aspiStatus; }
uint32_t GetSptiStatus() { return State().sptiStatus; }
uint32_t GetSptiAccessMask() { return State().accessMask; }
uint32_t GetAspiAdapterCount() { return State().adapterCount; }
const std::string& GetAspiLibraryPath() { return State().aspiPath; }

int IsDriveAccessBroken() {
    const auto& s = State();
    const bool neitherWorks = s.aspiStatus != kAspiOk && s.sptiStatus != kSptiOk;
    return s.aspiStatus == kAspiBroken || s.sptiStatus == kSptiNotInitialized || neitherWorks ? 1
                                                                                              : 0;
}

void GetLastScsiError(ScsiLastError* out) {
    if (out) *out = State().lastError;
}

void SetLastScsiError(const ScsiRequest& request) {
    ScsiLastError& e = State().lastError;
    e.osError = request.osError;
    e.aspiStatus = request.aspiStatus;
    e.adapterStatus = request.adapterStatus;
    e.targetStatus = request.targetStatus;
    e.senseKey = request.senseKey;
    // Only a drive's answer has a reason; the sense bytes of a request that
    // never reached one are stale.
    const SenseInfo why = request.targetStatus == kCheckConditionStatus
                              ? DecodeSense(request.sense, request.senseLength)
                              : SenseInfo{};
    e.asc = why.asc;
    e.ascq = why.ascq;
}

DriveFault FaultOfRequest(const ScsiRequest& r) {
    // The ASPI set leaves SS_PENDING in a request whose SRB never completed.
    if (r.aspiStatus == aspi::SS_PENDING || r.osError == kErrorSemTimeout)
        return DriveFault::TimedOut;
    if (r.aspiStatus == aspi::SS_NO_DEVICE) return DriveFault::Gone;
    if (r.osError == -1) return DriveFault::None;
    if (const auto gone = Transport().DeviceGone)
        return gone(r.osError) ? DriveFault::Gone : DriveFault::None;
    if (r.osError == kErrorDeviceNotConnected ||
        r.osError == static_cast<int32_t>(kErrorFileNotFound))
        return DriveFault::Gone;
    return DriveFault::None;
}

DriveFault BrokenDriveFault(const DriveAddress& address) {
    const detail::BrokenDrive* b = FindBroken(address);
    return b ? b->fault : DriveFault::None;
}

void NoteRequestOutcome(const ScsiRequest& request) {
    const DriveFault fault = FaultOfRequest(request);
    const DriveAddress address = AddressOf(request);
    if (fault == DriveFault::None || FindBroken(address)) return;
    detail::BrokenDrive b;
    b.address = address;
    b.fault = fault;
    b.status = ScsiLastError{request.osError, request.aspiStatus, request.adapterStatus,
                             request.targetStatus, request.senseKey};
    State().broken.push_back(b);
    char where[48];
    if (address.letter >= 'A' && address.letter <= 'Z')
        std::snprintf(where, sizeof where, "%c:", static_cast<char>(address.letter));
    else
        std::snprintf(where, sizeof where, "%u, %u, %u", address.adapter % 100,
                      address.target % 100, address.lun % 100);
    LogPrintf("Drive (%s) %s - marked broken, nothing is sent to it until Detect drives\n", where,
              fault == DriveFault::TimedOut ? "timed out" : "is gone");
}

bool RefuseBroken(ScsiRequest* request) {
    const detail::BrokenDrive* b = FindBroken(AddressOf(*request));
    if (!b) return false;
    request->osError = b->status.osError;
    request->aspiStatus = b->status.aspiStatus;
    request->adapterStatus = b->status.adapterStatus;
    request->targetStatus = b->status.targetStatus;
    request->senseKey = b->status.senseKey;
    request->dataLength = 0;
    return true;
}

void ClearBrokenDrives() { State().broken.clear(); }

int SendRequest(ScsiRequest* request) {
    if (RefuseBroken(request)) return 0;
    const int result = Transport().TransportExecute(request);
    if (!result) NoteRequestOutcome(*request);
    return result;
}

void ResetTransportState() {
    auto& s = State();
    s.mode = kTransportAspi;
    s.aspiStatus = kAspiNotInitialized;
    s.sptiStatus = kSptiNotInitialized;
    s.accessMask = kGenericRead | kGenericWrite;
    s.lastError = ScsiLastError{};
    s.active = nullptr;
    s.broken.clear();
    detail::ResetAspiState();
}

}  // namespace tarvik
