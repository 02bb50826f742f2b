#include "scsi/spti_block.h"
#include "scsi/spti_block_pack.h"

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
    PackPassThroughAs<PassThroughDirect>(f, sense, block);
}

void UnpackPassThrough(const uint8_t* block, PassThroughFields* f, uint8_t sense[kSenseSize]) {
    UnpackPassThroughAs<PassThroughDirect>(block, f, sense);
}

}  // namespace tarvik
