#include <cstring>

#include "scsi/spti_block.h"

namespace tarvik {
namespace {

// The Linux build has no <ntddscsi.h>; this is the same structure with the
// Windows type widths (USHORT 16, UCHAR 8, ULONG 32 bits, PVOID a pointer), so
// the host tests see the block the 64-bit program hands to the driver.
struct PassThroughDirect {
    uint16_t Length;
    uint8_t ScsiStatus;
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;
    void* DataBuffer;
    uint32_t SenseInfoOffset;
    uint8_t Cdb[16];
};

static_assert(sizeof(PassThroughDirect) == (sizeof(void*) == 8 ? 56 : 44));
static_assert(sizeof(PassThroughDirect) + kSenseSize <= kPassThroughBlockMax);

}  // namespace

size_t PassThroughSize() { return sizeof(PassThroughDirect); }

void PackPassThrough(const PassThroughFields& f, const uint8_t sense[kSenseSize], uint8_t* block) {
    PassThroughDirect s{};
    s.Length = f.length;
    s.ScsiStatus = f.scsiStatus;
    s.PathId = f.pathId;
    s.TargetId = f.targetId;
    s.Lun = f.lun;
    s.CdbLength = f.cdbLength;
    s.SenseInfoLength = f.senseInfoLength;
    s.DataIn = f.dataIn;
    s.DataTransferLength = f.dataTransferLength;
    s.TimeOutValue = f.timeOutValue;
    s.DataBuffer = f.dataBuffer;
    s.SenseInfoOffset = f.senseInfoOffset;
    std::memcpy(s.Cdb, f.cdb, sizeof(s.Cdb));
    std::memcpy(block, &s, sizeof(s));
    std::memcpy(block + sizeof(s), sense, kSenseSize);
}

void UnpackPassThrough(const uint8_t* block, PassThroughFields* f, uint8_t sense[kSenseSize]) {
    PassThroughDirect s;
    std::memcpy(&s, block, sizeof(s));
    f->length = s.Length;
    f->scsiStatus = s.ScsiStatus;
    f->pathId = s.PathId;
    f->targetId = s.TargetId;
    f->lun = s.Lun;
    f->cdbLength = s.CdbLength;
    f->senseInfoLength = s.SenseInfoLength;
    f->dataIn = s.DataIn;
    f->dataTransferLength = s.DataTransferLength;
    f->timeOutValue = s.TimeOutValue;
    f->dataBuffer = s.DataBuffer;
    f->senseInfoOffset = s.SenseInfoOffset;
    std::memcpy(f->cdb, s.Cdb, sizeof(f->cdb));
    std::memcpy(sense, block + sizeof(s), kSenseSize);
}

}  // namespace tarvik
