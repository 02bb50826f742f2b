#include <windows.h>
// needs the types of windows.h
#include <ntddscsi.h>

#include <cstring>

#include "scsi/spti_block.h"

namespace tarvik {

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) + kSenseSize <= kPassThroughBlockMax);
#ifdef _WIN64
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
#else
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
#endif

size_t PassThroughSize() { return sizeof(SCSI_PASS_THROUGH_DIRECT); }

void PackPassThrough(const PassThroughFields& f, const uint8_t sense[kSenseSize], uint8_t* block) {
    SCSI_PASS_THROUGH_DIRECT s{};
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
    SCSI_PASS_THROUGH_DIRECT s;
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
