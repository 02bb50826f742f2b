// WM_DEVICECHANGE blocks: read only as far as the block says it reaches.
#include "app/device_broadcast.h"

#include "base/bytes.h"

namespace tarvik {

namespace {
constexpr uint32_t kVolumeBlockBytes = 18;  // DEV_BROADCAST_VOLUME up to dbcv_flags
constexpr uint32_t kHeaderBytes = 12;       // DEV_BROADCAST_HDR
}  // namespace

DeviceBroadcast DecodeDeviceBroadcast(const uint8_t* block, size_t size) {
    DeviceBroadcast out;
    if (!block || size < kHeaderBytes) return out;
    out.deviceType = GetLe32(block + 4);
    if (out.deviceType != kDbtDevtypVolume || size < kVolumeBlockBytes) return out;
    out.volume = true;
    out.unitMask = GetLe32(block + 12);
    out.flags = static_cast<uint16_t>(GetLe16(block + 16));
    return out;
}

}  // namespace tarvik
