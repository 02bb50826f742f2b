#pragma once
// The block of a WM_DEVICECHANGE notice, decoded with its size checked, and
// the events and flags of it the program looks at.
#include <cstddef>
#include <cstdint>

namespace tarvik {

// What a WM_DEVICECHANGE block says, read with its size checked.
struct DeviceBroadcast {
    bool volume = false;  // a DEV_BROADCAST_VOLUME that is long enough to read
    uint32_t deviceType = 0;
    uint32_t unitMask = 0;  // bit 0 = A:
    uint16_t flags = 0;     // DBTF_MEDIA 1, DBTF_NET 2
};
// block: the bytes lParam points at, size: what the block says of itself
// (dbch_size). A null or short block is no volume.
DeviceBroadcast DecodeDeviceBroadcast(const uint8_t* block, size_t size);

// WM_DEVICECHANGE events and volume flags the program looks at.
constexpr uintptr_t kDbtDeviceArrival = 0x8000;
constexpr uintptr_t kDbtDeviceRemoveComplete = 0x8004;
constexpr uint32_t kDbtDevtypVolume = 2;
constexpr uint16_t kDbtfMedia = 1;
constexpr uint16_t kDbtfNet = 2;

}  // namespace tarvik
