#pragma once
// The simulator behind the SgOs seam (Linux): the drives of a bus answer the
// SG_IO ioctl on their device nodes, so the SG_IO set runs exactly as on a
// real drive. For tests and tarvikctl's test hook only.
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

    // What the set did, for the tests.
    std::vector<int> openFlags;  // of each successful open
    int opened = 0, closed = 0;
    std::map<std::string, int> refuse;  // node -> errno its open fails with
    bool readOnlyOnly = false;          // an open for writing fails with EACCES

private:
    Bus& bus_;
    std::map<std::string, size_t> nodes_;
    std::map<int, size_t> open_;  // fd -> drive
    int nextFd_ = 100;
};

}  // namespace tarvik::sim
