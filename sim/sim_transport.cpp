#include "sim_transport.h"

#include <algorithm>
#include <cstring>

#include "scsi/aspi_defs.h"

namespace tarvik::sim {

namespace {

constexpr int32_t kErrorIoDevice = 1117;
constexpr int32_t kErrorSemTimeout = 121;
constexpr int32_t kErrorDeviceNotConnected = 1167;
constexpr int32_t kErrorFileNotFound = 2;

struct Installed {
    Bus* bus = nullptr;
    TransportStyle style = TransportStyle::Spti;
    const ScsiTransport* previousSet = nullptr;
    Clock* previousClock = nullptr;
    uint32_t previousMode = kTransportAspi;
};

Installed& State() {
    static Installed state;
    return state;
}

DriveAddress AddressOfRequest(const ScsiRequest& r) {
    DriveAddress a;
    a.adapter = r.adapter;
    a.target = r.target;
    a.lun = r.lun;
    a.letter = r.letter;
    return a;
}

TransportHandle HandleOf(size_t index) {
    return reinterpret_cast<TransportHandle>(static_cast<uintptr_t>(index + 1));
}

// Fills the request's output fields from what the drive answered.
int Complete(ScsiRequest* r, const Outcome& o, TransportStyle style) {
    const bool aspi = style == TransportStyle::Aspi;
    const uint32_t wanted = aspi ? aspi::SENSE_LEN : std::min<uint32_t>(r->senseLength, kSenseSize);
    std::memset(r->sense, 0, sizeof r->sense);
    r->senseLength = aspi ? wanted : 0;
    if (aspi) r->adapterStatus = aspi::HASTAT_OK;

    switch (o.completion) {
        case Completion::Done: {
            r->targetStatus = o.status;
            if (o.status == 2) {
                const std::vector<uint8_t> sense = FixedSense(o.sense);
                const size_t n = std::min<size_t>(wanted, sense.size());
                std::memcpy(r->sense, sense.data(), n);
                r->senseLength = static_cast<uint32_t>(n);
            }
            if (r->direction == 0)
                r->dataLength = o.bytesIn;
            else if (o.status != 0)
                r->dataLength = 0;
            if (aspi) r->aspiStatus = o.status == 0 ? aspi::SS_COMP : aspi::SS_ERR;
            break;
        }
        case Completion::TransportError:
            r->dataLength = 0;
            if (aspi) {
                r->aspiStatus = aspi::SS_ERR;
                r->adapterStatus = aspi::HASTAT_DO_DU;
            } else {
                r->osError = kErrorIoDevice;
            }
            break;
        case Completion::Timeout:
            r->dataLength = 0;
            if (aspi)
                r->aspiStatus = aspi::SS_PENDING;
            else
                r->osError = kErrorSemTimeout;
            break;
        case Completion::Gone:
            r->dataLength = 0;
            if (aspi) {
                r->aspiStatus = aspi::SS_NO_DEVICE;
                r->adapterStatus = aspi::HASTAT_SEL_TO;
            } else {
                r->osError = kErrorDeviceNotConnected;
            }
            break;
    }
    // ASPI copies the key whenever the manager reports sense bytes; SPTI only
    // when some came back.
    if (r->senseLength >= 3) r->senseKey = r->sense[2] & 0x0F;
    return o.Good() ? 1 : 0;
}

int Run(ScsiRequest* r, size_t index) {
    Installed& s = State();
    Command cmd;
    cmd.cdb = std::span<const uint8_t>(r->cdb, std::min<uint32_t>(r->cdbLength, kCdbSize));
    if (r->dataLength && r->data) {
        if (r->direction == 0)
            cmd.dataIn = std::span<uint8_t>(static_cast<uint8_t*>(r->data), r->dataLength);
        else
            cmd.dataOut =
                std::span<const uint8_t>(static_cast<const uint8_t*>(r->data), r->dataLength);
    }
    return Complete(r, s.bus->Execute(index, cmd), s.style);
}

void FailOpen(ScsiRequest* r) {
    r->ClearStatus();
    if (State().style == TransportStyle::Aspi) {
        r->aspiStatus = aspi::SS_NO_DEVICE;
    } else {
        r->osError = kErrorFileNotFound;
    }
}

TransportHandle SimOpen(ScsiRequest* r) {
    if (!r) return nullptr;
    Installed& s = State();
    const int index = s.bus ? SimDriveIndex(*s.bus, AddressOfRequest(*r)) : -1;
    if (index < 0 || s.bus->At(static_cast<size_t>(index)).Gone()) {
        FailOpen(r);
        return nullptr;
    }
    return HandleOf(static_cast<size_t>(index));
}

void SimClose(TransportHandle) {}

int SimExecuteOn(ScsiRequest* r, TransportHandle handle) {
    if (!r) return 0;
    r->ClearStatus();
    const uintptr_t h = reinterpret_cast<uintptr_t>(handle);
    if (!State().bus || h == 0 || h > State().bus->Count()) {
        FailOpen(r);
        return 0;
    }
    return Run(r, h - 1);
}

int SimExecute(ScsiRequest* r) {
    if (!r) return 0;
    TransportHandle h = SimOpen(r);
    if (!h) return 0;
    return SimExecuteOn(r, h);
}

int FindFrom(size_t start, DriveAddress* address) {
    Installed& s = State();
    if (!s.bus || !address) return 0;
    for (size_t i = start; i < s.bus->Count(); ++i) {
        if (s.bus->At(i).Gone()) continue;
        *address = SimAddress(*s.bus, i);
        return 1;
    }
    return 0;
}

int SimFindFirst(DriveAddress* address) { return FindFrom(0, address); }

int SimFindNext(DriveAddress* address) {
    Installed& s = State();
    if (!s.bus || !address) return 0;
    // The position of the given address, vanished or not, decides what is next.
    int index = -1;
    for (size_t i = 0; i < s.bus->Count() && index < 0; ++i) {
        const DriveAddress a = SimAddress(*s.bus, i);
        if (address->letter ? a.letter == address->letter
                            : a.adapter == address->adapter && a.target == address->target)
            index = static_cast<int>(i);
    }
    if (index < 0) return 0;
    return FindFrom(static_cast<size_t>(index) + 1, address);
}

const ScsiTransport kSimSet = {
    .TransportClose = SimClose,
    .TransportExecuteOn = SimExecuteOn,
    .TransportOpen = SimOpen,
    .FindNextDrive = SimFindNext,
    .FindFirstDrive = SimFindFirst,
    .TransportExecute = SimExecute,
};

}  // namespace

const ScsiTransport& SimTransportSet() { return kSimSet; }

DriveAddress SimAddress(const Bus& bus, size_t index) {
    DriveAddress a;
    a.adapter = static_cast<uint32_t>(index / 16);
    a.target = static_cast<uint32_t>(index % 16);
    a.lun = 0;
    a.letter = static_cast<uint8_t>(bus.Letter(index));
    return a;
}

int SimDriveIndex(const Bus& bus, const DriveAddress& address) {
    if (address.letter) return bus.FindLetter(static_cast<char>(address.letter));
    if (address.lun != 0 || address.target >= 16) return -1;
    const uint64_t index = uint64_t{address.adapter} * 16 + address.target;
    return index < bus.Count() ? static_cast<int>(index) : -1;
}

void InstallSimTransport(Bus& bus, TransportStyle style) {
    Installed& s = State();
    if (!s.bus) {
        s.previousClock = &GetClock();
        s.previousMode = GetTransportMode();
        s.previousSet = InstallTransport(
            &kSimSet, style == TransportStyle::Aspi ? kTransportAspi : kTransportSpti);
    } else {
        (void)InstallTransport(&kSimSet,
                               style == TransportStyle::Aspi ? kTransportAspi : kTransportSpti);
    }
    s.bus = &bus;
    s.style = style;
    SetClock(&bus.clock());
}

void UninstallSimTransport() {
    Installed& s = State();
    if (!s.bus) return;
    if (s.previousSet) (void)InstallTransport(s.previousSet, s.previousMode);
    SetClock(s.previousClock);
    s = Installed{};
}

}  // namespace tarvik::sim
