#pragma once
// The SPTI pass-through block: the system's SCSI_PASS_THROUGH_DIRECT followed
// directly by a 16-byte sense buffer. Only the platform files know the real
// structure; the portable transport fills and reads it through these fields.
#include <cstddef>
#include <cstdint>

#include "scsi/request.h"

namespace tarvik {

struct PassThroughFields {
    uint16_t length = 0;
    uint8_t scsiStatus = 0;
    uint8_t pathId = 0;
    uint8_t targetId = 0;
    uint8_t lun = 0;
    uint8_t cdbLength = 0;
    uint8_t senseInfoLength = 0;
    uint8_t dataIn = 0;
    uint32_t dataTransferLength = 0;
    uint32_t timeOutValue = 0;
    void* dataBuffer = nullptr;
    uint32_t senseInfoOffset = 0;
    uint8_t cdb[kCdbSize] = {};
};

constexpr uint8_t kScsiIoctlDataOut = 0;
constexpr uint8_t kScsiIoctlDataIn = 1;

// sizeof(SCSI_PASS_THROUGH_DIRECT) of this build (44 on 32-bit, 56 on 64-bit).
size_t PassThroughSize();
// The whole block: the structure and the sense buffer.
inline size_t PassThroughBlockSize() { return PassThroughSize() + kSenseSize; }
// Enough for the block on any target, for callers that keep it on the stack.
constexpr size_t kPassThroughBlockMax = 96;

// block: PassThroughBlockSize() bytes, 8-byte aligned.
void PackPassThrough(const PassThroughFields& fields, const uint8_t sense[kSenseSize],
                     uint8_t* block);
void UnpackPassThrough(const uint8_t* block, PassThroughFields* fields, uint8_t sense[kSenseSize]);

}  // namespace tarvik
