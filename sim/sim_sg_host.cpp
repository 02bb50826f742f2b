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
    open_[nextFd_] = node->second;
    return nextFd_++;
}

void SimSgOs::Close(int fd) {
    if (open_.erase(fd)) ++closed;
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

    const Outcome o = bus_.Execute(drive->second, cmd);
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
