// The drive operations: build the command, send it, decode the answer.
#include "scsi/mmc.h"

#include <cstring>
#include <memory>
#include <new>

#include "scsi/mmc_answer.h"
#include "scsi/mmc_cdb.h"
#include "scsi/sense.h"
#include "scsi/transport.h"

namespace tarvik {
namespace {

constexpr uint32_t kSenseWanted = kSenseSize;
constexpr uint32_t kMaxBlocksPerRead = 32;  // 64 KiB a command

ScsiRequest MakeRequest(const DriveAddress& drive, const mmc::Cdb& cdb,
                        uint32_t senseLength = kSenseWanted) {
    ScsiRequest request;
    request.SetAddress(drive);
    request.cdbLength = cdb.length;
    std::memcpy(request.cdb, cdb.bytes, kCdbSize);
    request.senseLength = senseLength;
    return request;
}

void DataIn(ScsiRequest* request, void* buffer, uint32_t length) {
    request->data = buffer;
    request->dataLength = length;
    request->direction = 0;
}

void DataOut(ScsiRequest* request, void* buffer, uint32_t length) {
    request->data = buffer;
    request->dataLength = length;
    request->direction = 1;
}

// Sends a data-in command through ScsiExecute into `answer`. Non-zero on success.
int ExecuteIn(const DriveAddress& drive, const mmc::Cdb& cdb, uint8_t* answer, uint32_t length) {
    ScsiRequest request = MakeRequest(drive, cdb);
    DataIn(&request, answer, length);
    return ScsiExecute(&request);
}

}  // namespace

int GetCDROMInquiry(const DriveAddress& drive, InquiryData* out) {
    if (!out) return 0;
    *out = InquiryData{};
    uint8_t answer[mmc::kInquiryLength] = {};
    if (!ExecuteIn(drive, mmc::Inquiry(mmc::kInquiryLength), answer, sizeof(answer))) return 0;
    return mmc::DecodeInquiry(answer, sizeof(answer), out) ? 1 : 0;
}

int GetCDROMInfo(const DriveAddress& drive, CdromCapabilities* out) {
    if (!out) return 0;
    uint8_t answer[256] = {};
    const int sent = ExecuteIn(drive, mmc::ModeSense10(mmc::kPageCapabilities, sizeof(answer)),
                               answer, sizeof(answer));
    *out = CdromCapabilities{};
    if (!sent) return 0;
    return mmc::DecodeCapabilities(answer, sizeof(answer), out) ? 1 : 0;
}

uint32_t GetCDSpeed(const DriveAddress& drive) {
    CdromCapabilities caps;
    return GetCDROMInfo(drive, &caps) ? caps.currentReadSpeed : 0;
}

int SetCDROMSpeed(const DriveAddress& drive, int32_t readSpeed, int32_t writeSpeed) {
    // Only the low 16 bits travel: -1 becomes FFFFh, "the drive's maximum".
    ScsiRequest request =
        MakeRequest(drive, mmc::SetCdSpeed(drive.lun, static_cast<uint16_t>(readSpeed),
                                           static_cast<uint16_t>(writeSpeed)));
    return ScsiExecute(&request);
}

int LoadEjectCDROM(const DriveAddress& drive, int eject) {
    ScsiRequest request = MakeRequest(drive, mmc::StartStopUnit(drive.lun, true, eject == 0), 0);
    return ScsiExecute(&request);
}

int LoadEjectCDROMWithSense(const DriveAddress& drive, int eject) {
    ScsiRequest request = MakeRequest(drive, mmc::StartStopUnit(drive.lun, true, eject == 0));
    if (SendRequest(&request)) return 1;
    SetLastScsiError(request);
    return 0;
}

// Sent once, without ScsiExecute's retries, so that "not ready" comes back at once.
int TestUnitReady(const DriveAddress& drive, SenseInfo* sense) {
    ScsiRequest request = MakeRequest(drive, mmc::TestUnitReady(drive.lun));
    if (SendRequest(&request)) return 0;
    SetLastScsiError(request);
    if (sense) *sense = DecodeSense(request.sense, request.senseLength);
    return request.senseKey == kSenseNotReady ? 1 : -1;
}

uint32_t ReadCDROMCapacity(const DriveAddress& drive) {
    uint8_t answer[16] = {};
    if (!ExecuteIn(drive, mmc::ReadCapacity(), answer, sizeof(answer))) return 0;
    return mmc::DecodeLastLba(answer, sizeof(answer));
}

// Reads `count` blocks from `lba` on into `buffer`, at most 32 a command, all
// on one open handle and without retries (a measurement must see the drive's
// own pace). Non-zero when every chunk was read; 0 for a count of 0.
int ReadCDROMBlocks(const DriveAddress& drive, uint32_t lba, uint32_t count, void* buffer) {
    if (!buffer && count) return 0;
    ScsiRequest openRequest;
    openRequest.SetAddress(drive);
    if (RefuseBroken(&openRequest)) {
        SetLastScsiError(openRequest);
        return 0;
    }
    const ScsiTransport& transport = Transport();
    TransportHandle handle = transport.TransportOpen(&openRequest);
    if (!handle) {
        NoteRequestOutcome(openRequest);
        SetLastScsiError(openRequest);
        return 0;
    }
    auto* position = static_cast<uint8_t*>(buffer);
    int result = 0;
    while (count) {
        const uint32_t n = count < kMaxBlocksPerRead ? count : kMaxBlocksPerRead;
        ScsiRequest request = MakeRequest(drive, mmc::Read10(lba, static_cast<uint16_t>(n)));
        DataIn(&request, position, n * kBlockSize);
        result = transport.TransportExecuteOn(&request, handle);
        if (!result) {
            NoteRequestOutcome(request);
            SetLastScsiError(request);
            break;
        }
        lba += n;
        position += n * kBlockSize;
        count -= n;
    }
    transport.TransportClose(handle);
    return result;
}

int PreventCDROMRemoval(const DriveAddress& drive, int prevent) {
    ScsiRequest request =
        MakeRequest(drive, mmc::PreventAllowMediumRemoval(drive.lun, prevent != 0), 0);
    return ScsiExecute(&request);
}

int ReadCDROMAudioStatus(const DriveAddress& drive) {
    uint8_t answer[16] = {};
    const mmc::Cdb cdb =
        mmc::ReadSubChannel(drive.lun, false, mmc::kSubChannelCurrentPosition, sizeof(answer));
    if (!ExecuteIn(drive, cdb, answer, sizeof(answer))) return -1;
    return mmc::DecodeAudioStatus(answer, sizeof(answer));
}

int32_t GetCDROMProfile(const DriveAddress& drive) {
    uint8_t answer[8] = {};
    const mmc::Cdb cdb = mmc::GetConfiguration(drive.lun, mmc::kRtAll, 0, sizeof(answer));
    if (!ExecuteIn(drive, cdb, answer, sizeof(answer))) return -1;
    return mmc::DecodeCurrentProfile(answer, sizeof(answer));
}

int SetDVDSpeed(const DriveAddress& drive, uint32_t readSize, uint32_t writeSize) {
    uint8_t descriptor[mmc::kPerformanceDescriptorSize];
    mmc::PerformanceDescriptor(readSize, writeSize, descriptor);
    ScsiRequest request = MakeRequest(drive, mmc::SetStreaming(sizeof(descriptor)));
    DataOut(&request, descriptor, sizeof(descriptor));
    return ScsiExecute(&request);
}

uint32_t GetDVDSpeed(const DriveAddress& drive) {
    uint8_t answer[8 + 8 * 16] = {};
    const mmc::Cdb cdb = mmc::GetPerformance(drive.lun, mmc::kPerformanceReadNominal, 0, 8,
                                             mmc::kPerformanceTypePerformance);
    if (!ExecuteIn(drive, cdb, answer, sizeof(answer))) return 0;
    return mmc::DecodeNominalPerformance(answer, sizeof(answer));
}

int ReadDVDBookType(const DriveAddress& drive) {
    uint8_t answer[21] = {};
    const mmc::Cdb cdb = mmc::ReadDiscStructure(drive.lun, mmc::kMediaDvd, 0, sizeof(answer));
    if (!ExecuteIn(drive, cdb, answer, sizeof(answer))) return -1;
    return mmc::DecodeDvdBookType(answer, sizeof(answer));
}

uint32_t ReadBlurayDiscType(const DriveAddress& drive) {
    uint8_t answer[4100] = {};
    const mmc::Cdb cdb = mmc::ReadDiscStructure(drive.lun, mmc::kMediaBd, 0, sizeof(answer));
    if (!ExecuteIn(drive, cdb, answer, sizeof(answer))) return 0;
    return mmc::DecodeBdDiscType(answer, sizeof(answer));
}

// A drive that knows the feature counts as having it; the Current bit is not
// looked at. A failed allocation reads as an absent feature.
int CheckCDROMFeature(const DriveAddress& drive, uint32_t feature) {
    constexpr uint32_t kAnswerSize = 0xFFFF;
    std::unique_ptr<uint8_t[]> answer(new (std::nothrow) uint8_t[kAnswerSize]());
    if (!answer) return 0;
    const mmc::Cdb cdb =
        mmc::GetConfiguration(drive.lun, mmc::kRtOne, static_cast<uint16_t>(feature), kAnswerSize);
    if (!ExecuteIn(drive, cdb, answer.get(), kAnswerSize)) return 0;
    return mmc::DecodeFeaturePresent(answer.get(), kAnswerSize, feature);
}

}  // namespace tarvik
