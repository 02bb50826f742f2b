// The blocks the program hands to the system and to an ASPI manager, byte for
// byte as this build lays them out. Real ASPI managers are 32-bit DLLs built
// against the classic 80-byte request block, and a 32-bit shell takes the
// 952-byte icon record: the 32-bit build must match those numbers exactly,
// the 64-bit one its own widened forms.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/scsi_os.h"
#include "scsi/aspi.h"
#include "scsi/aspi_defs.h"
#include "scsi/transport.h"
#include "ui/tray/tray_win32.h"

namespace tarvik {

ScsiOs& DefaultScsiOs();

namespace {

// Where the fields of SRB_ExecSCSICmd lie in memory on each target.
struct ExecSrbLayout {
    size_t size, bufLen, bufPointer, senseLen, cdbLen, targStat, postProc, cdb, sense;
};
#ifdef _WIN64
constexpr ExecSrbLayout kExecSrb{88, 12, 16, 24, 25, 27, 28, 56, 72};
constexpr size_t kPointerBytes = 8;
constexpr DWORD kNotifyIconSize = 968;
#else
constexpr ExecSrbLayout kExecSrb{80, 12, 16, 20, 21, 23, 24, 48, 64};
constexpr size_t kPointerBytes = 4;
constexpr DWORD kNotifyIconSize = 952;
#endif

uintptr_t PointerAt(const std::vector<uint8_t>& bytes, size_t offset) {
    uintptr_t value = 0;
    std::memcpy(&value, bytes.data() + offset, kPointerBytes);
    return value;
}

uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

// A manager that reads and answers the execute block only through raw offsets,
// as a manager compiled elsewhere would.
struct RawManager {
    static uint32_t SupportInfo() { return 0x0101; }  // SS_COMP, one adapter
    static uint32_t Send(void* srb) {
        auto* bytes = static_cast<uint8_t*>(srb);
        if (bytes[0] != aspi::SC_EXEC_SCSI_CMD) return bytes[1] = aspi::SS_COMP;
        seen.assign(bytes, bytes + kExecSrb.size);
        // CHECK CONDITION with fixed-format sense NOT READY / 3A.
        bytes[kExecSrb.targStat] = aspi::STATUS_CHKCOND;
        bytes[kExecSrb.sense] = 0x70;
        bytes[kExecSrb.sense + 2] = 0x02;
        bytes[kExecSrb.sense + 12] = 0x3A;
        // Half the buffer answered.
        const uint32_t half = Le32At(seen, kExecSrb.bufLen) / 2;
        std::memcpy(bytes + kExecSrb.bufLen, &half, sizeof(half));
        return bytes[1] = aspi::SS_COMP;
    }
    static std::vector<uint8_t> seen;
};
std::vector<uint8_t> RawManager::seen;

// No drive devices; the manager above and the system's real events.
class RawManagerOs : public ScsiOs {
public:
    bool LoadModule(const char*) override { return true; }
    void* ModuleProc(const char* name) override {
        const std::string n = name;
        if (n == "GetASPI32SupportInfo") return reinterpret_cast<void*>(&RawManager::SupportInfo);
        if (n == "SendASPI32Command") return reinterpret_cast<void*>(&RawManager::Send);
        return nullptr;
    }
    std::string LoadedModulePath() override { return "C:\\raw\\wnaspi32.dll"; }
    void* NewEvent() override {
        event = DefaultScsiOs().NewEvent();
        return event;
    }
    bool WaitEvent(void* e, uint32_t ms) override { return DefaultScsiOs().WaitEvent(e, ms); }
    void CloseEvent(void* e) override { DefaultScsiOs().CloseEvent(e); }
    void* event = nullptr;
};

class StructureSizes : public testing::Test {
protected:
    void SetUp() override { ResetTransportState(); }
    void TearDown() override {
        ResetTransportState();
        SetScsiOs(nullptr);
    }
};

TEST_F(StructureSizes, AspiExecuteBlockHasTheClassicOffsets) {
    RawManagerOs os;
    SetScsiOs(&os);
    ASSERT_EQ(AspiLoad(), 1);
    InstallTransport(&AspiTransport(), kTransportAspi);

    uint8_t answer[96] = {};
    ScsiRequest r;
    r.adapter = 0;
    r.target = 5;
    r.lun = 1;
    r.cdbLength = 10;
    r.cdb[0] = 0x5A;  // MODE SENSE(10)
    r.cdb[2] = 0x2A;
    r.cdb[9] = 0x77;
    r.data = answer;
    r.dataLength = sizeof(answer);
    ASSERT_EQ(Transport().TransportExecute(&r), 1);

    const std::vector<uint8_t>& b = RawManager::seen;
    ASSERT_EQ(b.size(), kExecSrb.size);
    EXPECT_EQ(sizeof(aspi::SRB_ExecSCSICmd), kExecSrb.size);
    EXPECT_EQ(b[0], aspi::SC_EXEC_SCSI_CMD);
    EXPECT_EQ(b[3], aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY);
    EXPECT_EQ(b[8], 5) << "target";
    EXPECT_EQ(b[9], 1) << "lun";
    EXPECT_EQ(Le32At(b, kExecSrb.bufLen), 96u);
    EXPECT_NE(PointerAt(b, kExecSrb.bufPointer), 0u);
    EXPECT_EQ(b[kExecSrb.senseLen], aspi::SENSE_LEN);
    EXPECT_EQ(b[kExecSrb.cdbLen], 10);
    EXPECT_EQ(PointerAt(b, kExecSrb.postProc), reinterpret_cast<uintptr_t>(os.event))
        << "the completion event sits right after the status bytes";
    EXPECT_EQ(b[kExecSrb.cdb], 0x5A);
    EXPECT_EQ(b[kExecSrb.cdb + 2], 0x2A);
    EXPECT_EQ(b[kExecSrb.cdb + 9], 0x77);

    // What the manager wrote at its offsets is what the program reads back.
    EXPECT_EQ(r.targetStatus, aspi::STATUS_CHKCOND);
    EXPECT_EQ(r.senseKey, 2);
    EXPECT_EQ(r.sense[12], 0x3A);
    EXPECT_EQ(r.dataLength, 48u);
}

TEST_F(StructureSizes, TrayIconRecordHasTheSizeEveryShellSinceXpTakes) {
    TrayIcon icon;
    icon.Init(nullptr);
    EXPECT_EQ(icon.Record().cbSize, kNotifyIconSize);
    // The record ends with guidItem: nothing of Vista's hBalloonIcon is claimed.
    EXPECT_EQ(icon.Record().cbSize, offsetof(NOTIFYICONDATAW, guidItem) + sizeof(GUID));
}

}  // namespace
}  // namespace tarvik
