#pragma once
// One SCSI command and where it goes. Field order and widths are the ones the
// rest of the program (and the error report) relies on.
#include <cstdint>

namespace tarvik {

struct DriveAddress {
    uint32_t adapter = 0;  // ASPI host adapter; SPTI: 0 (PathId)
    uint32_t target = 0;   // ASPI target; SPTI: 0
    uint32_t lun = 0;
    uint32_t letter = 0;  // 'A'..'Z', or 0 when an ASPI drive's letter is unknown
};

constexpr unsigned kCdbSize = 16;
constexpr unsigned kSenseSize = 16;

struct ScsiRequest {
    // in
    uint32_t adapter = 0, target = 0, lun = 0, letter = 0;
    uint32_t cdbLength = 0;
    uint8_t cdb[kCdbSize] = {};
    // in: sense bytes wanted (16, or 0); out: sense bytes returned
    uint32_t senseLength = 0;
    uint8_t sense[kSenseSize] = {};
    // in: buffer size; out: bytes transferred
    uint32_t dataLength = 0;
    void* data = nullptr;
    uint32_t direction = 0;  // 0: from the drive (read), non-zero: to the drive
    // out; -1 when the transport did not report the value
    int32_t osError = -1;
    int32_t aspiStatus = -1;
    int32_t adapterStatus = -1;
    int32_t targetStatus = -1;
    int32_t senseKey = -1;

    void SetAddress(const DriveAddress& a) {
        adapter = a.adapter;
        target = a.target;
        lun = a.lun;
        letter = a.letter;
    }
    void ClearStatus() { osError = aspiStatus = adapterStatus = targetStatus = senseKey = -1; }
};

struct ScsiLastError {
    int32_t osError = -1;
    int32_t aspiStatus = -1;
    int32_t adapterStatus = -1;
    int32_t targetStatus = -1;
    int32_t senseKey = -1;
    // The drive's reason in its sense data (additional sense code and
    // qualifier); -1 when it gave none.
    int32_t asc = -1;
    int32_t ascq = -1;
};

}  // namespace tarvik
