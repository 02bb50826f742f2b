#pragma once
// Small helpers shared by the command handlers of the simulated drive.
#include <algorithm>
#include <cstring>
#include <vector>

#include "scsi/sense.h"
#include "sim_drive.h"

namespace tarvik::sim {

inline Outcome Good() { return Outcome{}; }

inline Outcome Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    Outcome o;
    o.status = 2;
    o.sense = SenseCode{key, asc, ascq};
    return o;
}

inline Outcome InvalidField() { return Check(kSenseIllegalRequest, 0x24, 0x00); }
inline Outcome InvalidOpcode() { return Check(kSenseIllegalRequest, 0x20, 0x00); }

// Copies an answer into the data-in buffer, cut to the allocation length the
// CDB gave and to the buffer, as a drive transfers at most what was asked.
inline Outcome Reply(const Command& cmd, const std::vector<uint8_t>& answer, size_t allocation) {
    const size_t n = std::min({answer.size(), allocation, cmd.dataIn.size()});
    if (n) std::memcpy(cmd.dataIn.data(), answer.data(), n);
    Outcome o;
    o.bytesIn = static_cast<uint32_t>(n);
    return o;
}

}  // namespace tarvik::sim
