// The drive operations and the SPTI set with a drive (or driver) that answers
// arbitrary bytes: the operations must decode within their buffers, keep the
// request's counts within what was offered, and never crash.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/scsi_os.h"
#include "platform/system.h"
#include "scsi/mmc.h"
#include "scsi/spti.h"
#include "scsi/spti_block.h"
#include "scsi/transport.h"

using namespace tarvik;

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;

// The drive: answers with the fuzz input, failing when its first byte is odd.
int Execute(ScsiRequest* r) {
    r->ClearStatus();
    if (g_size == 0) return 0;
    const bool ok = !(g_data[0] & 1);
    if (!ok) {
        r->senseKey = g_data[0] >> 4;  // 2 and 6 make ScsiExecute retry
        return 0;
    }
    if (r->direction == 0 && r->data) {
        const size_t n = g_size - 1 < r->dataLength ? g_size - 1 : r->dataLength;
        std::memcpy(r->data, g_data + 1, n);
        r->dataLength = static_cast<uint32_t>(n);
    }
    r->targetStatus = 0;
    return 1;
}
int ExecuteOn(ScsiRequest* r, TransportHandle) { return Execute(r); }
int handleToken;
TransportHandle Open(ScsiRequest*) { return &handleToken; }
void Close(TransportHandle) {}
int Find(DriveAddress*) { return 0; }
const ScsiTransport kFuzzSet = {
    .TransportClose = Close,
    .TransportExecuteOn = ExecuteOn,
    .TransportOpen = Open,
    .FindNextDrive = Find,
    .FindFirstDrive = Find,
    .TransportExecute = Execute,
};

// The driver below the SPTI set: overwrites the returned block with fuzz bytes
// (status, sense length, transfer count, sense) but keeps the pointer fields.
class FuzzOs : public ScsiOs {
public:
    bool OpenDevice(const std::string&, uint32_t, void** handle, uint32_t*) override {
        *handle = &token_;
        return true;
    }
    bool DeviceControl(void*, uint32_t, void* block, uint32_t, uint32_t, uint32_t* returned,
                       uint32_t*) override {
        PassThroughFields f;
        uint8_t sense[kSenseSize] = {};
        UnpackPassThrough(static_cast<uint8_t*>(block), &f, sense);
        if (g_size >= 7) {
            f.scsiStatus = g_data[1];
            f.senseInfoLength = g_data[2];
            std::memcpy(&f.dataTransferLength, g_data + 3, 4);
        }
        const size_t n = g_size > 7 ? std::min<size_t>(g_size - 7, kSenseSize) : 0;
        if (n) std::memcpy(sense, g_data + 7, n);
        PackPassThrough(f, sense, static_cast<uint8_t*>(block));
        *returned = static_cast<uint32_t>(PassThroughBlockSize());
        return true;
    }

private:
    int token_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static VirtualClock clock;
    SetClock(&clock);
    g_data = data;
    g_size = size;
    const DriveAddress drive{0, 0, 0, 'D'};

    InstallTransport(&kFuzzSet, kTransportSpti);
    InquiryData inquiry;
    (void)GetCDROMInquiry(drive, &inquiry);
    CdromCapabilities caps;
    (void)GetCDROMInfo(drive, &caps);
    (void)GetCDSpeed(drive);
    (void)ReadCDROMCapacity(drive);
    (void)ReadCDROMAudioStatus(drive);
    (void)GetCDROMProfile(drive);
    const uint32_t speed = GetDVDSpeed(drive);
    (void)speed;
    const int book = ReadDVDBookType(drive);
    if (book < -1 || book > 15) std::abort();
    (void)ReadBlurayDiscType(drive);
    const int feature = CheckCDROMFeature(drive, FEATURE_BD);
    if (feature != 0 && feature != 1) std::abort();
    const int ready = TestUnitReady(drive);
    if (ready < -1 || ready > 1) std::abort();
    std::vector<uint8_t> blocks(3 * kBlockSize);
    (void)ReadCDROMBlocks(drive, 0, 3, blocks.data());

    static FuzzOs os;
    SetScsiOs(&os);
    InstallTransport(&SptiTransport(), kTransportSpti);
    uint8_t answer[8];
    ScsiRequest r;
    r.letter = 'D';
    r.senseLength = size ? data[0] : 0;
    r.data = answer;
    r.dataLength = sizeof(answer);
    (void)Transport().TransportExecute(&r);
    if (r.senseLength > kSenseSize || r.dataLength > sizeof(answer)) std::abort();
    if (r.senseKey < -1 || r.senseKey > 15) std::abort();
    SetScsiOs(nullptr);
    ResetTransportState();
    return 0;
}
