#pragma once
// Pure builders of the MMC command descriptor blocks the program sends: one
// per command, named after it. No I/O; each starts from a zeroed CDB and sets
// its length.
#include <cstdint>

#include "scsi/request.h"

namespace tarvik::mmc {

constexpr uint8_t kOpTestUnitReady = 0x00;
constexpr uint8_t kOpInquiry = 0x12;
constexpr uint8_t kOpStartStopUnit = 0x1B;
constexpr uint8_t kOpPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kOpReadCapacity = 0x25;
constexpr uint8_t kOpRead10 = 0x28;
constexpr uint8_t kOpReadSubChannel = 0x42;
constexpr uint8_t kOpGetConfiguration = 0x46;
constexpr uint8_t kOpModeSense10 = 0x5A;
constexpr uint8_t kOpGetPerformance = 0xAC;
constexpr uint8_t kOpReadDiscStructure = 0xAD;  // READ DVD STRUCTURE in older drafts
constexpr uint8_t kOpSetStreaming = 0xB6;
constexpr uint8_t kOpSetCdSpeed = 0xBB;

constexpr uint8_t kPageCapabilities = 0x2A;

// GET CONFIGURATION request types
constexpr uint8_t kRtAll = 0;
constexpr uint8_t kRtOne = 2;

// READ SUB-CHANNEL data format
constexpr uint8_t kSubChannelCurrentPosition = 0x01;

// READ DISC STRUCTURE media types
constexpr uint8_t kMediaDvd = 0;
constexpr uint8_t kMediaBd = 1;

// GET PERFORMANCE data type: tolerance 10b, read, nominal performance
constexpr uint8_t kPerformanceReadNominal = 0x10;
constexpr uint8_t kPerformanceTypePerformance = 0;

constexpr unsigned kPerformanceDescriptorSize = 28;

struct Cdb {
    uint8_t bytes[kCdbSize] = {};
    uint32_t length = 0;
};

Cdb TestUnitReady(uint32_t lun);
Cdb Inquiry(uint8_t allocationLength);
Cdb StartStopUnit(uint32_t lun, bool loadEject, bool start);
Cdb PreventAllowMediumRemoval(uint32_t lun, bool prevent);
Cdb ReadCapacity();
Cdb Read10(uint32_t lba, uint16_t blocks);
Cdb ReadSubChannel(uint32_t lun, bool subQ, uint8_t format, uint16_t allocationLength);
Cdb GetConfiguration(uint32_t lun, uint8_t requestType, uint16_t startingFeature,
                     uint16_t allocationLength);
Cdb ModeSense10(uint8_t pageCode, uint16_t allocationLength);
Cdb GetPerformance(uint32_t lun, uint8_t dataType, uint32_t startingLba, uint16_t maxDescriptors,
                   uint8_t type);
Cdb ReadDiscStructure(uint32_t lun, uint8_t mediaType, uint8_t format, uint16_t allocationLength);
Cdb SetStreaming(uint16_t parameterListLength);
Cdb SetCdSpeed(uint32_t lun, uint16_t readSpeed, uint16_t writeSpeed);

// The SET STREAMING performance descriptor for the whole disc: sizes in kB
// over 1000 ms, so the sizes are speeds in kB/s.
void PerformanceDescriptor(uint32_t readSize, uint32_t writeSize,
                           uint8_t out[kPerformanceDescriptorSize]);

}  // namespace tarvik::mmc
