#include <windows.h>
// needs the types of windows.h
#include <ntddscsi.h>

#include "scsi/spti_block.h"
#include "scsi/spti_block_pack.h"

namespace tarvik {

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) + kSenseSize <= kPassThroughBlockMax);
#ifdef _WIN64
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
#else
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
#endif

size_t PassThroughSize() { return sizeof(SCSI_PASS_THROUGH_DIRECT); }

void PackPassThrough(const PassThroughFields& f, const uint8_t sense[kSenseSize], uint8_t* block) {
    PackPassThroughAs<SCSI_PASS_THROUGH_DIRECT>(f, sense, block);
}

void UnpackPassThrough(const uint8_t* block, PassThroughFields* f, uint8_t sense[kSenseSize]) {
    UnpackPassThroughAs<SCSI_PASS_THROUGH_DIRECT>(block, f, sense);
}

}  // namespace tarvik
