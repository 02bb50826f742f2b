#pragma once
// Sense data, decoded once into key / ASC / ASCQ, fixed or descriptor format.
#include <cstddef>
#include <cstdint>

namespace tarvik {

// Sense keys (SPC), the first thing a drive says about a refused command.
enum SenseKey : int32_t {
    kSenseNoSense = 0x0,
    kSenseRecoveredError = 0x1,
    kSenseNotReady = 0x2,
    kSenseMediumError = 0x3,
    kSenseHardwareError = 0x4,
    kSenseIllegalRequest = 0x5,
    kSenseUnitAttention = 0x6,
    kSenseDataProtect = 0x7,
    kSenseBlankCheck = 0x8,
    kSenseVendorSpecific = 0x9,
    kSenseCopyAborted = 0xA,
    kSenseAbortedCommand = 0xB,
    kSenseVolumeOverflow = 0xD,
    kSenseMiscompare = 0xE,
};

struct SenseInfo {
    int32_t key = -1;  // -1: no usable sense data
    int32_t asc = -1;
    int32_t ascq = -1;
};

// Fixed format (response code 70h/71h): key in byte 2, ASC/ASCQ in 12/13.
// Descriptor format (72h/73h): key in byte 1, ASC/ASCQ in 2/3. Other response
// codes are read as fixed format, which is what most drives send. Bytes beyond
// `length` are not read.
SenseInfo DecodeSense(const uint8_t* sense, size_t length);

}  // namespace tarvik
