#pragma once
// The simulator behind the SgOs seam (Linux): the drives of a bus answer the
// SG_IO ioctl on their device nodes, so the SG_IO set runs exactly as on a
// real drive. For tests and tarvikctl's test hook only.
//
// /dev/sr* nodes behave as the sr driver does with the door lock: the lock
// ioctl sends PREVENT ALLOW to the drive itself, and when a node's last
// descriptor closes the driver sends ALLOW unless the lock was taken with the
// ioctl. (Modelled for locks sent through this seam; the driver's ALLOW for
// a drive nobody locked is left out of the trace.) Other nodes (/dev/sg*)
// have no lock ioctl.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/sg_os.h"
#include "sim_bus.h"

namespace tarvik::sim {

class SimSgOs final : public SgOs {
public:
    // Drive i of the bus is the node "/dev/sr<i>" unless mapped otherwise.
    explicit SimSgOs(Bus& bus);
    void MapNode(const std::string& node, size_t index) { nodes_[node] = index; }

    int Open(const std::string& path, int flags, int* error) override;
    void Close(int fd) override;
    int SgIo(int fd, sg_io_hdr* header, int* error) override;
    int LockDoor(int fd, int lock, int* error) override;

    // What the set did, for the tests.
    std::vector<int> openFlags;  // of each successful open
    int opened = 0, closed = 0;
    std::map<std::string, int> refuse;  // node -> errno its open fails with
    bool readOnlyOnly = false;          // an open for writing fails with EACCES
    bool admin = false;                 // may unlock while others hold the drive open

private:
    struct OpenNode {
        size_t drive = 0;
        bool sr = false;
    };
    // Descriptors open on a drive's sr nodes.
    int SrUsers(size_t drive) const;

    Bus& bus_;
    std::map<std::string, size_t> nodes_;
    std::map<int, OpenNode> open_;  // fd -> drive
    std::set<size_t> undoAtClose_;  // drives whose lock the last sr close ends
    int nextFd_ = 100;
};

}  // namespace tarvik::sim
