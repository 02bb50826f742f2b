#include "scsi/sense.h"

namespace tarvik {

SenseInfo DecodeSense(const uint8_t* sense, size_t length) {
    SenseInfo info;
    if (!sense || length == 0) return info;
    const uint8_t responseCode = sense[0] & 0x7F;
    if (responseCode == 0x72 || responseCode == 0x73) {
        if (length > 1) info.key = sense[1] & 0x0F;
        if (length > 2) info.asc = sense[2];
        if (length > 3) info.ascq = sense[3];
        return info;
    }
    if (length > 2) info.key = sense[2] & 0x0F;
    if (length > 12) info.asc = sense[12];
    if (length > 13) info.ascq = sense[13];
    return info;
}

}  // namespace tarvik
