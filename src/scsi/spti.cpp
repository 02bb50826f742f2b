// The SPTI set: each command goes to the drive's device with the system's
// pass-through ioctl.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/system.h"
#include "scsi/mmc_cdb.h"
#include "scsi/sense.h"
#include "scsi/spti.h"
#include "scsi/spti_block.h"
#include "scsi/transport.h"
#include "scsi/transport_state.h"
#include "scsi/transport_trace.h"

namespace tarvik {

using detail::State;

namespace {

constexpr int kOpenAttempts = 3;
constexpr uint32_t kSharingRetryMs = 150;
constexpr uint32_t kPassThroughTimeoutSeconds = 30;
constexpr uint32_t kErrorInvalidDrive = 15;
constexpr uint32_t kErrorBusy = 170;  // ERROR_BUSY: Wine's EBUSY
constexpr uint32_t kPlatformNt = 2;

// What TransportOpen hands out: the device handle, owned until TransportClose.
struct SptiHandle {
    void* device = nullptr;
};

bool IsDriveLetter(uint32_t letter) { return letter >= 'A' && letter <= 'Z'; }

void SptiClose(TransportHandle handle) {
    auto* holder = static_cast<SptiHandle*>(handle);
    if (!holder) return;
    ScsiSys().CloseDevice(holder->device);
    delete holder;
}

TransportHandle SptiOpen(ScsiRequest* request) {
    void* device = nullptr;
    uint32_t error = 0;
    if (!OpenDriveDevice(request->letter, &device, &error)) {
        request->ClearStatus();
        request->osError = static_cast<int32_t>(error);
        return nullptr;
    }
    return new SptiHandle{device};
}

// Under Wine the device handle is a descriptor of the Linux drive node, and
// its close makes the kernel's sr driver unlock the door again unless the
// lock was taken with the driver's own lock ioctl, which is what Wine does
// for IOCTL_STORAGE_MEDIA_REMOVAL. So there the lock goes that way; Windows
// keeps a pass-through lock after the handle closes, and there nothing
// changes. Returns 1 done, 0 failed (osError set), -1 when the device does
// not take the ioctl (then the pass-through is tried).
int LockUnderWine(ScsiRequest* request, void* device) {
    uint8_t prevent = request->cdb[4] & 0x01;
    uint32_t returned = 0;
    uint32_t error = 0;
    const bool done = ScsiSys().DeviceControl(device, kIoctlStorageMediaRemoval, &prevent,
                                              sizeof prevent, 0, &returned, &error);
    if (done || (error != kErrorNotSupported && error != kErrorInvalidFunction))
        NoteTransportRoute("IOCTL_STORAGE_MEDIA_REMOVAL");
    if (done) {
        request->targetStatus = 0;  // the driver had a GOOD answer, or it would have failed
        request->senseLength = 0;
        request->dataLength = 0;
        return 1;
    }
    if (error == kErrorNotSupported || error == kErrorInvalidFunction) return -1;
    // Wine's answer when the sr driver refuses an unlock to a user who is not
    // root while other programs hold the node open (a mounted disc, a disc
    // watcher): the driver has dropped its keep-locked flag by then, so the
    // pass-through ALLOW unlocks.
    if (error == kErrorBusy && !prevent) return -1;
    request->osError = static_cast<int32_t>(error);
    return 0;
}

// One pass-through call. Non-zero when the drive answered GOOD; otherwise the
// request's status fields say why (osError for a failed call, targetStatus and
// senseKey for a command the drive refused).
int SptiExecuteOn(ScsiRequest* request, TransportHandle handle) {
    request->ClearStatus();
    auto* holder = static_cast<SptiHandle*>(handle);
    if (!holder) {
        request->osError = static_cast<int32_t>(kErrorInvalidHandle);
        return 0;
    }
    if (request->cdb[0] == mmc::kOpPreventAllowMediumRemoval && ScsiSys().UnderWine()) {
        if (const int locked = LockUnderWine(request, holder->device); locked >= 0) return locked;
    }

    PassThroughFields f;
    f.length = static_cast<uint16_t>(PassThroughSize());
    f.pathId = static_cast<uint8_t>(request->adapter);
    f.targetId = static_cast<uint8_t>(request->target);
    f.lun = static_cast<uint8_t>(request->lun);
    f.cdbLength = static_cast<uint8_t>(std::min<uint32_t>(request->cdbLength, kCdbSize));
    std::memcpy(f.cdb, request->cdb, kCdbSize);
    f.senseInfoLength = static_cast<uint8_t>(std::min<uint32_t>(request->senseLength, kSenseSize));
    f.senseInfoOffset = static_cast<uint32_t>(PassThroughSize());
    f.dataIn = request->direction == 0 ? kScsiIoctlDataIn : kScsiIoctlDataOut;
    f.dataTransferLength = request->dataLength;
    f.dataBuffer = request->data;
    f.timeOutValue = kPassThroughTimeoutSeconds;

    alignas(8) uint8_t block[kPassThroughBlockMax] = {};
    const uint8_t noSense[kSenseSize] = {};
    PackPassThrough(f, noSense, block);

    uint32_t returned = 0;
    uint32_t error = 0;
    if (!ScsiSys().DeviceControl(holder->device, kIoctlScsiPassThroughDirect, block,
                                 static_cast<uint32_t>(PassThroughSize()),
                                 static_cast<uint32_t>(PassThroughBlockSize()), &returned,
                                 &error)) {
        request->osError = static_cast<int32_t>(error);
        return 0;
    }

    PassThroughFields out;
    uint8_t sense[kSenseSize] = {};
    UnpackPassThrough(block, &out, sense);
    request->targetStatus = out.scsiStatus;
    // The driver never returns more than it was offered; a bogus count must
    // not make later readers walk past the 16 bytes.
    const uint32_t senseLength = std::min<uint32_t>(out.senseInfoLength, kSenseSize);
    if (senseLength) request->senseKey = DecodeSense(sense, senseLength).key;
    std::memcpy(request->sense, sense, kSenseSize);
    request->senseLength = senseLength;
    request->dataLength = std::min(out.dataTransferLength, request->dataLength);
    return out.scsiStatus == 0 ? 1 : 0;
}

int SptiExecute(ScsiRequest* request) {
    TransportHandle handle = SptiOpen(request);
    if (!handle) return 0;
    const int result = SptiExecuteOn(request, handle);
    SptiClose(handle);
    return result;
}

int SptiFindFirst(DriveAddress* address) { return FindCdromLetter('A', address); }

int SptiFindNext(DriveAddress* address) { return FindCdromLetter(address->letter + 1, address); }

const ScsiTransport kSptiSet = {
    .TransportClose = SptiClose,
    .TransportExecuteOn = SptiExecuteOn,
    .TransportOpen = SptiOpen,
    .FindNextDrive = SptiFindNext,
    .FindFirstDrive = SptiFindFirst,
    .TransportExecute = SptiExecute,
};

}  // namespace

const ScsiTransport& SptiTransport() { return kSptiSet; }

int FindCdromLetter(uint32_t from, DriveAddress* address) {
    if (!address || !IsDriveLetter(from)) return 0;
    uint32_t mask = Sys().LogicalDrives() >> (from - 'A');
    for (uint32_t letter = from; mask && letter <= 'Z'; ++letter, mask >>= 1) {
        if (!(mask & 1)) continue;
        const std::string root{static_cast<char>(letter), ':', '\\'};
        if (Sys().DriveType(root) == kDriveCdrom) {
            *address = DriveAddress{0, 0, 0, letter};
            return 1;
        }
    }
    return 0;
}

// A drive held by another program answers with a sharing violation for a
// moment (Explorer reading a new disc); that one is worth two more tries.
bool OpenDriveDevice(uint32_t letter, void** handle, uint32_t* error) {
    if (!IsDriveLetter(letter)) {
        *error = kErrorInvalidDrive;
        return false;
    }
    const std::string path{'\\', '\\', '.', '\\', static_cast<char>(letter), ':'};
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (ScsiSys().OpenDevice(path, State().accessMask, handle, error)) return true;
        if (*error != kErrorSharingViolation) return false;
        GetClock().Sleep(kSharingRetryMs);
    }
    return false;
}

int SptiInit() {
    auto& s = State();
    WinVersionInfo version;
    if (!Sys().GetVersion(version) || version.platformId != kPlatformNt) {
        s.sptiStatus = kSptiNotSupported;
        return 0;
    }
    // NT 4 refuses a pass-through handle opened for writing by a normal user.
    s.accessMask = version.major < 5 ? kGenericRead : (kGenericRead | kGenericWrite);

    DriveAddress address;
    if (!FindCdromLetter('A', &address)) {
        s.sptiStatus = kSptiOk;
        return 1;
    }
    do {
        void* device = nullptr;
        uint32_t error = 0;
        if (OpenDriveDevice(address.letter, &device, &error)) {
            ScsiSys().CloseDevice(device);
            s.sptiStatus = kSptiOk;
            return 1;
        }
    } while (FindCdromLetter(address.letter + 1, &address));
    s.sptiStatus = kSptiAccessDenied;
    return 0;
}

}  // namespace tarvik
