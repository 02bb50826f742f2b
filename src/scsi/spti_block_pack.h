#pragma once
// Field-by-field copy between PassThroughFields and a SCSI_PASS_THROUGH_DIRECT
// layout. Shared by the Windows build (the system's structure) and the host
// build (the same structure declared with Windows type widths).
#include <cstring>

#include "scsi/spti_block.h"

namespace tarvik {

template <class PassThroughDirect>
void PackPassThroughAs(const PassThroughFields& f, const uint8_t sense[kSenseSize],
                       uint8_t* block) {
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

template <class PassThroughDirect>
void UnpackPassThroughAs(const uint8_t* block, PassThroughFields* f, uint8_t sense[kSenseSize]) {
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
