// The SG_IO set (Linux).
#include <fcntl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/sg_os.h"
#include "scsi/mmc_cdb.h"
#include "scsi/sense.h"
#include "scsi/sg_transport.h"
#include "scsi/transport_trace.h"

namespace tarvik {
namespace {

// Host adapter and driver codes of the SG_IO header that end a command
// before the drive gave a status.
constexpr uint16_t kDidNoConnect = 0x01;
constexpr uint16_t kDidTimeOut = 0x03;
constexpr uint16_t kDidBadTarget = 0x04;
constexpr uint16_t kDriverStatusMask = 0x07;  // 08h (sense attached) and up are no failure
constexpr uint16_t kDriverTimeout = 0x06;

std::vector<SgDrive>& Table() {
    static std::vector<SgDrive> table;
    return table;
}

bool SameAddress(const DriveAddress& a, const DriveAddress& b) {
    return a.adapter == b.adapter && a.target == b.target && a.lun == b.lun;
}

int IndexOf(const DriveAddress& a) {
    const auto& t = Table();
    for (size_t i = 0; i < t.size(); ++i)
        if (SameAddress(t[i].address, a)) return static_cast<int>(i);
    return -1;
}

struct SgHandle {
    int fd = -1;
};

void SgClose(TransportHandle handle) {
    auto* holder = static_cast<SgHandle*>(handle);
    if (!holder) return;
    SgSys().Close(holder->fd);
    delete holder;
}

TransportHandle SgOpen(ScsiRequest* request) {
    request->ClearStatus();
    const int index = IndexOf(DriveAddress{request->adapter, request->target, request->lun, 0});
    if (index < 0) {
        request->osError = ENXIO;
        return nullptr;
    }
    int error = 0;
    const int fd = OpenSgNode(Table()[static_cast<size_t>(index)].node, &error);
    if (fd < 0) {
        request->osError = error;
        return nullptr;
    }
    return new SgHandle{fd};
}

// Why a command that the kernel took ended without a drive status, as errno.
int TransportFailure(const sg_io_hdr& h) {
    if (h.host_status == kDidTimeOut || (h.driver_status & kDriverStatusMask) == kDriverTimeout)
        return ETIMEDOUT;
    if (h.host_status == kDidNoConnect || h.host_status == kDidBadTarget) return ENODEV;
    if (h.host_status != 0 || (h.driver_status & kDriverStatusMask) != 0) return EIO;
    return 0;
}

// PREVENT ALLOW MEDIUM REMOVAL on a node of the sr driver goes through its
// lock ioctl: the driver sends the command itself and, only for a lock taken
// this way, leaves the door locked when our descriptor closes (a plain
// PREVENT is undone by the ALLOW it sends at the last close). Returns 1 done,
// 0 failed (errno in osError), -1 when the node has no such ioctl (sg).
int LockThroughDriver(ScsiRequest* request, int fd) {
    int error = 0;
    const int done = SgSys().LockDoor(fd, request->cdb[4] & 0x01, &error);
    if (done == 0 || (error != ENOTTY && error != EINVAL)) NoteTransportRoute("CDROM_LOCKDOOR");
    if (done == 0) {
        request->targetStatus = 0;  // the driver had a GOOD answer, or it would have failed
        request->senseLength = 0;
        request->dataLength = 0;
        return 1;
    }
    if (error == ENOTTY || error == EINVAL) return -1;
    // An unlock refused while other programs hold the drive open: the driver
    // has dropped its keep-locked flag before refusing, so the command sent
    // through SG_IO unlocks, as the desktop user who may write the node asked.
    if (error == EBUSY && !(request->cdb[4] & 0x01)) return -1;
    // EOPNOTSUPP: the drive cannot lock; EIO: the drive refused the command.
    request->osError = error;
    request->dataLength = 0;
    return 0;
}

// One SG_IO call. Non-zero when the drive answered GOOD; otherwise the
// request's status fields say why.
int SgExecuteOn(ScsiRequest* request, TransportHandle handle) {
    request->ClearStatus();
    auto* holder = static_cast<SgHandle*>(handle);
    if (!holder) {
        request->osError = EBADF;
        return 0;
    }
    if (request->dataLength && !request->data) {
        request->osError = EINVAL;  // a length without a buffer: nothing to hand the kernel
        return 0;
    }
    if (request->cdb[0] == mmc::kOpPreventAllowMediumRemoval) {
        if (const int locked = LockThroughDriver(request, holder->fd); locked >= 0) return locked;
    }

    uint8_t sense[kSenseSize] = {};
    sg_io_hdr h{};
    h.interface_id = 'S';
    h.cmd_len = static_cast<unsigned char>(std::min<uint32_t>(request->cdbLength, kCdbSize));
    h.cmdp = request->cdb;
    h.mx_sb_len = static_cast<unsigned char>(std::min<uint32_t>(request->senseLength, kSenseSize));
    h.sbp = sense;
    h.timeout = kSgTimeoutMs;
    if (request->dataLength == 0) {
        h.dxfer_direction = SG_DXFER_NONE;
    } else {
        h.dxfer_direction = request->direction == 0 ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
        h.dxfer_len = request->dataLength;
        h.dxferp = request->data;
    }

    int error = 0;
    if (SgSys().SgIo(holder->fd, &h, &error) != 0) {
        request->osError = error;
        request->dataLength = 0;
        return 0;
    }
    if (const int failure = TransportFailure(h)) {
        // A GOOD status byte here means nothing: the command did not finish.
        request->osError = failure;
        request->dataLength = 0;
        return 0;
    }

    request->targetStatus = h.status;
    // The kernel never writes more than it was offered; a bogus count must
    // not make later readers walk past the 16 bytes.
    const uint32_t senseLength = std::min<uint32_t>(h.sb_len_wr, h.mx_sb_len);
    if (senseLength) request->senseKey = DecodeSense(sense, senseLength).key;
    std::memcpy(request->sense, sense, kSenseSize);
    request->senseLength = senseLength;
    // resid is what was not transferred; a negative or oversized one from a
    // confused driver leaves the count within the buffer.
    const int64_t moved = int64_t{h.dxfer_len} - h.resid;
    request->dataLength = static_cast<uint32_t>(std::clamp<int64_t>(moved, 0, h.dxfer_len));
    return h.status == 0 ? 1 : 0;
}

int SgExecute(ScsiRequest* request) {
    TransportHandle handle = SgOpen(request);
    if (!handle) return 0;
    const int result = SgExecuteOn(request, handle);
    SgClose(handle);
    return result;
}

int SgFindFirst(DriveAddress* address) {
    if (!address || Table().empty()) return 0;
    *address = Table().front().address;
    return 1;
}

int SgFindNext(DriveAddress* address) {
    if (!address) return 0;
    const int index = IndexOf(*address);
    if (index < 0 || static_cast<size_t>(index) + 1 >= Table().size()) return 0;
    *address = Table()[static_cast<size_t>(index) + 1].address;
    return 1;
}

// The errno values that say the node or its device is gone: a USB drive
// pulled out (ENODEV from the host adapter's DID_NO_CONNECT, ENXIO once the
// device is deleted) or its node removed (ENOENT).
int SgDeviceGone(int32_t osError) {
    return osError == ENODEV || osError == ENXIO || osError == ENOENT ? 1 : 0;
}

const ScsiTransport kSgSet = {
    .TransportClose = SgClose,
    .TransportExecuteOn = SgExecuteOn,
    .TransportOpen = SgOpen,
    .FindNextDrive = SgFindNext,
    .FindFirstDrive = SgFindFirst,
    .TransportExecute = SgExecute,
    .DeviceGone = SgDeviceGone,
};

}  // namespace

size_t SetSgDrives(std::vector<SgDrive> drives) {
    auto& t = Table();
    t.clear();
    for (SgDrive& d : drives) {
        d.address.letter = 0;
        if (IndexOf(d.address) < 0) t.push_back(std::move(d));
    }
    return t.size();
}

const std::vector<SgDrive>& SgDrives() { return Table(); }

const ScsiTransport& SgTransport() { return kSgSet; }

int OpenSgNode(const std::string& node, int* error, bool* readOnly) {
    if (readOnly) *readOnly = false;
    int fd = SgSys().Open(node, O_RDWR | O_NONBLOCK, error);
    if (fd < 0 && (*error == EACCES || *error == EPERM || *error == EROFS)) {
        fd = SgSys().Open(node, O_RDONLY | O_NONBLOCK, error);
        if (fd >= 0 && readOnly) *readOnly = true;
    }
    return fd;
}

}  // namespace tarvik
