// WM_DEVICECHANGE: an event number and the block lParam points at, of any
// length and content, as the main window hands them on. Only the bytes the
// block says it has may be read (the copy is exactly that long, so ASan sees
// a read past it), and one event posts one command at most.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "app/app.h"

using namespace tarvik;

namespace {

class RecordingHost : public NoWindowHost {
public:
    void PostCommand(uint16_t id, uint32_t lParam) override { posted.push_back({id, lParam}); }
    struct Posted {
        uint16_t id;
        uint32_t lParam;
    };
    std::vector<Posted> posted;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uintptr_t event =
        in.PickValueInArray<uintptr_t>({kDbtDeviceArrival, kDbtDeviceRemoveComplete, 0x0007, 0x8006,
                                        in.ConsumeIntegral<uint16_t>()});
    const std::vector<uint8_t> block = in.ConsumeRemainingBytes<uint8_t>();
    const DeviceBroadcast decoded =
        DecodeDeviceBroadcast(block.empty() ? nullptr : block.data(), block.size());
    if (decoded.volume && (block.size() < 18 || decoded.deviceType != kDbtDevtypVolume))
        std::abort();

    RecordingHost host;
    App app(host);
    app.DeviceChange(event, decoded);
    if (host.posted.size() > 1) std::abort();
    for (const RecordingHost::Posted& p : host.posted) {
        if (p.id == CMD_MEDIA_ARRIVED && p.lParam != decoded.unitMask) std::abort();
        // The media commands with any mask; no drive is listed, so none is sent to.
        if (p.id == CMD_MEDIA_ARRIVED || p.id == CMD_MEDIA_REMOVED) app.Command(p.id, p.lParam);
    }
    return 0;
}
