#include "scsi/mmc_cdb.h"

#include "base/bytes.h"

namespace tarvik::mmc {
namespace {

Cdb Start(uint8_t opcode, uint32_t length) {
    Cdb cdb;
    cdb.bytes[0] = opcode;
    cdb.length = length;
    return cdb;
}

// The SCSI-2 LUN field of byte 1; always 0 for the drives the program finds.
uint8_t LunBits(uint32_t lun) { return static_cast<uint8_t>((lun & 7) << 5); }

}  // namespace

Cdb TestUnitReady(uint32_t lun) {
    Cdb cdb = Start(kOpTestUnitReady, 6);
    cdb.bytes[1] = LunBits(lun);
    return cdb;
}

Cdb Inquiry(uint8_t allocationLength) {
    Cdb cdb = Start(kOpInquiry, 6);
    cdb.bytes[4] = allocationLength;
    return cdb;
}

Cdb StartStopUnit(uint32_t lun, bool loadEject, bool start) {
    Cdb cdb = Start(kOpStartStopUnit, 6);
    cdb.bytes[1] = LunBits(lun);  // Immed 0: returns once the tray has moved
    cdb.bytes[4] = static_cast<uint8_t>((loadEject ? 0x02 : 0) | (start ? 0x01 : 0));
    return cdb;
}

Cdb PreventAllowMediumRemoval(uint32_t lun, bool prevent) {
    Cdb cdb = Start(kOpPreventAllowMediumRemoval, 6);
    cdb.bytes[1] = LunBits(lun);
    cdb.bytes[4] = prevent ? 1 : 0;
    return cdb;
}

Cdb ReadCapacity() { return Start(kOpReadCapacity, 10); }

Cdb Read10(uint32_t lba, uint16_t blocks) {
    Cdb cdb = Start(kOpRead10, 10);
    PutBe32(cdb.bytes + 2, lba);
    PutBe16(cdb.bytes + 7, blocks);
    return cdb;
}

Cdb ReadSubChannel(uint32_t lun, bool subQ, uint8_t format, uint16_t allocationLength) {
    Cdb cdb = Start(kOpReadSubChannel, 10);
    cdb.bytes[1] = LunBits(lun);  // MSF 0
    cdb.bytes[2] = subQ ? 0x40 : 0;
    cdb.bytes[3] = format;
    PutBe16(cdb.bytes + 7, allocationLength);
    return cdb;
}

Cdb GetConfiguration(uint32_t lun, uint8_t requestType, uint16_t startingFeature,
                     uint16_t allocationLength) {
    Cdb cdb = Start(kOpGetConfiguration, 10);
    cdb.bytes[1] = static_cast<uint8_t>(LunBits(lun) | (requestType & 3));
    PutBe16(cdb.bytes + 2, startingFeature);
    PutBe16(cdb.bytes + 7, allocationLength);
    return cdb;
}

Cdb ModeSense10(uint8_t pageCode, uint16_t allocationLength) {
    Cdb cdb = Start(kOpModeSense10, 10);
    cdb.bytes[2] = pageCode & 0x3F;  // current values, block descriptors allowed
    PutBe16(cdb.bytes + 7, allocationLength);
    return cdb;
}

Cdb GetPerformance(uint32_t lun, uint8_t dataType, uint32_t startingLba, uint16_t maxDescriptors,
                   uint8_t type) {
    Cdb cdb = Start(kOpGetPerformance, 12);
    cdb.bytes[1] = static_cast<uint8_t>(LunBits(lun) | (dataType & 0x1F));
    PutBe32(cdb.bytes + 2, startingLba);
    PutBe16(cdb.bytes + 8, maxDescriptors);
    cdb.bytes[10] = type;
    return cdb;
}

Cdb ReadDiscStructure(uint32_t lun, uint8_t mediaType, uint8_t format, uint16_t allocationLength) {
    Cdb cdb = Start(kOpReadDiscStructure, 12);
    cdb.bytes[1] = static_cast<uint8_t>(LunBits(lun) | (mediaType & 0x0F));
    cdb.bytes[7] = format;
    PutBe16(cdb.bytes + 8, allocationLength);
    return cdb;
}

Cdb SetStreaming(uint16_t parameterListLength) {
    Cdb cdb = Start(kOpSetStreaming, 12);
    cdb.bytes[8] = 0;  // type: performance descriptor
    PutBe16(cdb.bytes + 9, parameterListLength);
    return cdb;
}

Cdb SetCdSpeed(uint32_t lun, uint16_t readSpeed, uint16_t writeSpeed) {
    Cdb cdb = Start(kOpSetCdSpeed, 12);
    cdb.bytes[1] = LunBits(lun);  // rotational control 0 (CLV)
    PutBe16(cdb.bytes + 2, readSpeed);
    PutBe16(cdb.bytes + 4, writeSpeed);
    return cdb;
}

void PerformanceDescriptor(uint32_t readSize, uint32_t writeSize,
                           uint8_t out[kPerformanceDescriptorSize]) {
    constexpr uint32_t kTimeMs = 1000;
    for (unsigned i = 0; i < kPerformanceDescriptorSize; ++i) out[i] = 0;
    // End LBA FFFFFFFFh: "to the end of whatever disc is in the drive".
    PutBe32(out + 4, 0);
    PutBe32(out + 8, 0xFFFFFFFFu);
    PutBe32(out + 12, readSize);
    PutBe32(out + 16, kTimeMs);
    PutBe32(out + 20, writeSize);
    PutBe32(out + 24, kTimeMs);
}

}  // namespace tarvik::mmc
