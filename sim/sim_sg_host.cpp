#include "sim_sg.h"

#include <fcntl.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvik::sim {

namespace {

// What the kernel reports when the host adapter gave up on a command.
constexpr uint16_t kDidTimeOut = 0x03;
constexpr uint16_t kDidError = 0x07;
constexpr uint8_t kDriverSense = 0x08;

// What the sr driver sends for the door lock (PREVENT ALLOW MEDIUM REMOVAL).
Command PreventAllowCommand(bool prevent, std::vector<uint8_t>& cdb) {
    cdb = {kOpPreventAllow, 0, 0, 0, static_cast<uint8_t>(prevent ? 1 : 0), 0};
    Command cmd;
    cmd.cdb = std::span<const uint8_t>(cdb.data(), cdb.size());
    return cmd;
}

}  // namespace

SimSgOs::SimSgOs(Bus& bus) : bus_(bus) {
    for (size_t i = 0; i < bus.Count(); ++i) nodes_["/dev/sr" + std::to_string(i)] = i;
}

int SimSgOs::Open(const std::string& path, int flags, int* error) {
    const auto node = nodes_.find(path);
    if (node == nodes_.end()) {
        *error = ENOENT;
        return -1;
    }
    if (const auto r = refuse.find(path); r != refuse.end()) {
        *error = r->second;
        return -1;
    }
    if (readOnlyOnly && (flags & O_ACCMODE) != O_RDONLY) {
        *error = EACCES;
        return -1;
    }
    if (bus_.At(node->second).Gone()) {
        *error = ENXIO;
        return -1;
    }
    openFlags.push_back(flags);
    ++opened;
    open_[nextFd_] = OpenNode{node->second, path.starts_with("/dev/sr")};
    return nextFd_++;
}

int SimSgOs::SrUsers(size_t drive) const {
    int n = 0;
    for (const auto& [fd, o] : open_) n += o.sr && o.drive == drive;
    return n;
}

void SimSgOs::Close(int fd) {
    const auto it = open_.find(fd);
    if (it == open_.end()) return;
    const OpenNode node = it->second;
    open_.erase(it);
    ++closed;
    // The driver's release: the last close of the sr node unlocks the door
    // unless the lock was taken with the ioctl.
    if (!node.sr || SrUsers(node.drive) > 0 || !undoAtClose_.erase(node.drive)) return;
    if (bus_.At(node.drive).Gone() || !bus_.At(node.drive).Locked()) return;
    std::vector<uint8_t> cdb;
    (void)bus_.Execute(node.drive, PreventAllowCommand(false, cdb));
}

int SimSgOs::LockDoor(int fd, int lock, int* error) {
    const auto it = open_.find(fd);
    if (it == open_.end()) {
        *error = EBADF;
        return -1;
    }
    const OpenNode node = it->second;
    if (!node.sr) {
        *error = ENOTTY;
        return -1;
    }
    if (!bus_.At(node.drive).profile().canLock) {
        *error = EOPNOTSUPP;  // the driver's "drive can't do this"
        return -1;
    }
    // As the driver: the lock is kept from then on, or no longer; an unlock
    // is refused to a user while other programs hold the drive open, and
    // the last close then ends the lock.
    undoAtClose_.erase(node.drive);
    if (!lock && SrUsers(node.drive) != 1 && !admin) {
        undoAtClose_.insert(node.drive);
        *error = EBUSY;
        return -1;
    }
    std::vector<uint8_t> cdb;
    const Outcome o = bus_.Execute(node.drive, PreventAllowCommand(lock != 0, cdb));
    if (o.completion == Completion::Gone) {
        *error = ENODEV;
        return -1;
    }
    if (!o.Good()) {
        *error = EIO;
        return -1;
    }
    return 0;
}

int SimSgOs::SgIo(int fd, sg_io_hdr* h, int* error) {
    const auto drive = open_.find(fd);
    if (drive == open_.end()) {
        *error = EBADF;
        return -1;
    }
    if (h->interface_id != 'S' || !h->cmdp || h->cmd_len == 0 || h->cmd_len > 16) {
        *error = EINVAL;
        return -1;
    }
    Command cmd;
    cmd.cdb = std::span<const uint8_t>(h->cmdp, h->cmd_len);
    auto* data = static_cast<uint8_t*>(h->dxferp);
    if (h->dxfer_direction == SG_DXFER_FROM_DEV && data)
        cmd.dataIn = std::span<uint8_t>(data, h->dxfer_len);
    else if (h->dxfer_direction == SG_DXFER_TO_DEV && data)
        cmd.dataOut = std::span<const uint8_t>(data, h->dxfer_len);

    const Outcome o = bus_.Execute(drive->second.drive, cmd);
    if (drive->second.sr && cmd.cdb[0] == kOpPreventAllow && o.Good()) {
        if (cmd.cdb.size() > 4 && (cmd.cdb[4] & 0x01))
            undoAtClose_.insert(drive->second.drive);
        else
            undoAtClose_.erase(drive->second.drive);
    }
    h->status = 0;
    h->masked_status = 0;
    h->host_status = 0;
    h->driver_status = 0;
    h->sb_len_wr = 0;
    h->resid = static_cast<int>(h->dxfer_len);
    h->info = 0;
    switch (o.completion) {
        case Completion::Gone: *error = ENODEV; return -1;
        case Completion::Timeout: h->host_status = kDidTimeOut; return 0;
        case Completion::TransportError: h->host_status = kDidError; return 0;
        case Completion::Done: break;
    }
    h->status = o.status;
    h->masked_status = static_cast<unsigned char>(o.status >> 1);
    if (o.status == 2 && h->sbp && h->mx_sb_len) {
        const std::vector<uint8_t> sense = FixedSense(o.sense);
        const size_t n = std::min<size_t>(h->mx_sb_len, sense.size());
        std::memcpy(h->sbp, sense.data(), n);
        h->sb_len_wr = static_cast<unsigned char>(n);
        h->driver_status = kDriverSense;
    }
    if (!cmd.dataIn.empty())
        h->resid = static_cast<int>(h->dxfer_len - o.bytesIn);
    else if (!cmd.dataOut.empty() && o.status == 0)
        h->resid = 0;
    h->info = o.status ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

}  // namespace tarvik::sim
