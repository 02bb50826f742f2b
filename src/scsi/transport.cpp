#include "scsi/transport.h"

#include "platform/clock.h"
#include "scsi/sense.h"
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
        const int result = Transport().TransportExecute(request);
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
}

void ResetTransportState() {
    auto& s = State();
    s.mode = kTransportAspi;
    s.aspiStatus = kAspiNotInitialized;
    s.sptiStatus = kSptiNotInitialized;
    s.accessMask = kGenericRead | kGenericWrite;
    s.lastError = ScsiLastError{};
    s.active = nullptr;
    detail::ResetAspiState();
}

}  // namespace tarvik
