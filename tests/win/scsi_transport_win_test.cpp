// The transport's Win32 layer under Wine: the pass-through block with the
// system's own structure, drive letters of the real machine, the ASPI manager
// Wine ships, and the configuration-manager registry.
#include <windows.h>
// each of these needs the one before
#include <winioctl.h>
//
#include <ntddscsi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/scsi_os.h"
#include "platform/system.h"
#include "scsi/aspi.h"
#include "scsi/aspi_defs.h"
#include "scsi/spti.h"
#include "scsi/spti_block.h"
#include "scsi/transport.h"

namespace tarvik {

ScsiOs& DefaultScsiOs();

namespace {

static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == kIoctlScsiPassThroughDirect);
static_assert(GENERIC_READ == kGenericRead && GENERIC_WRITE == kGenericWrite);
static_assert(ERROR_SHARING_VIOLATION == kErrorSharingViolation);

// The real OS, except where a test replaces one service.
class PassThroughOs : public ScsiOs {
public:
    bool OpenDevice(const std::string& path, uint32_t access, void** handle,
                    uint32_t* error) override {
        return DefaultScsiOs().OpenDevice(path, access, handle, error);
    }
    void CloseDevice(void* handle) override { DefaultScsiOs().CloseDevice(handle); }
    bool DeviceControl(void* handle, uint32_t code, void* block, uint32_t inSize, uint32_t outSize,
                       uint32_t* returned, uint32_t* error) override {
        return DefaultScsiOs().DeviceControl(handle, code, block, inSize, outSize, returned, error);
    }
    bool LoadModule(const char* name) override { return DefaultScsiOs().LoadModule(name); }
    void* ModuleProc(const char* name) override { return DefaultScsiOs().ModuleProc(name); }
    std::string LoadedModulePath() override { return DefaultScsiOs().LoadedModulePath(); }
    void* NewEvent() override { return DefaultScsiOs().NewEvent(); }
    bool WaitEvent(void* event, uint32_t ms) override {
        return DefaultScsiOs().WaitEvent(event, ms);
    }
    void CloseEvent(void* event) override { DefaultScsiOs().CloseEvent(event); }
};

class ScsiWinTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTransportState(); }
    void TearDown() override {
        ResetTransportState();
        SetScsiOs(nullptr);
        SetSystem(nullptr);
        SetClock(nullptr);
    }
};

// ---- SPTI block ------------------------------------------------------------------

class CapturingOs : public PassThroughOs {
public:
    bool OpenDevice(const std::string& path, uint32_t, void** handle, uint32_t*) override {
        paths.push_back(path);
        *handle = &token;
        return true;
    }
    void CloseDevice(void*) override {}
    bool DeviceControl(void* handle, uint32_t c, void* b, uint32_t in, uint32_t out,
                       uint32_t* returned, uint32_t*) override {
        EXPECT_EQ(handle, &token);
        code = c;
        inSize = in;
        outSize = out;
        std::memcpy(&sent, b, sizeof(sent));
        // Play the driver: CHECK CONDITION, NOT READY, 18 sense bytes offered.
        auto* s = static_cast<SCSI_PASS_THROUGH_DIRECT*>(b);
        s->ScsiStatus = 2;
        s->DataTransferLength = 0;
        uint8_t* sense = static_cast<uint8_t*>(b) + s->SenseInfoOffset;
        sense[0] = 0x70;
        sense[2] = 0x02;
        sense[12] = 0x3A;
        *returned = out;
        return true;
    }
    int token = 0;
    std::vector<std::string> paths;
    uint32_t code = 0, inSize = 0, outSize = 0;
    SCSI_PASS_THROUGH_DIRECT sent{};
};

TEST_F(ScsiWinTest, PassThroughBlockUsesTheSystemStructure) {
    CapturingOs os;
    SetScsiOs(&os);
    InstallTransport(&SptiTransport(), kTransportSpti);
    uint8_t answer[36];
    ScsiRequest r;
    r.adapter = 1;
    r.target = 2;
    r.lun = 3;
    r.letter = 'K';
    r.cdbLength = 6;
    r.cdb[0] = 0x12;
    r.cdb[4] = 36;
    r.senseLength = 20;
    r.data = answer;
    r.dataLength = sizeof(answer);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);

    EXPECT_EQ(os.paths, (std::vector<std::string>{"\\\\.\\K:"}));
    EXPECT_EQ(os.code, static_cast<uint32_t>(IOCTL_SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(os.inSize, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(os.outSize, sizeof(SCSI_PASS_THROUGH_DIRECT) + 16);
    const SCSI_PASS_THROUGH_DIRECT& s = os.sent;
    EXPECT_EQ(s.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
#ifdef _WIN64
    EXPECT_EQ(s.Length, 56);
#else
    EXPECT_EQ(s.Length, 44);
#endif
    EXPECT_EQ(s.ScsiStatus, 0);
    EXPECT_EQ(s.PathId, 1);
    EXPECT_EQ(s.TargetId, 2);
    EXPECT_EQ(s.Lun, 3);
    EXPECT_EQ(s.CdbLength, 6);
    EXPECT_EQ(s.Cdb[0], 0x12);
    EXPECT_EQ(s.Cdb[4], 36);
    EXPECT_EQ(s.SenseInfoLength, 16);
    EXPECT_EQ(s.SenseInfoOffset, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(s.DataIn, SCSI_IOCTL_DATA_IN);
    EXPECT_EQ(s.DataTransferLength, 36u);
    EXPECT_EQ(s.DataBuffer, answer);
    EXPECT_EQ(s.TimeOutValue, 30u);

    EXPECT_EQ(r.targetStatus, 2);
    EXPECT_EQ(r.senseKey, 2);
    EXPECT_EQ(r.senseLength, 16u);
    EXPECT_EQ(r.sense[12], 0x3A);
    EXPECT_EQ(r.osError, -1);
    EXPECT_EQ(r.dataLength, 0u);
}

TEST_F(ScsiWinTest, WriteDirectionIsDataOut) {
    CapturingOs os;
    SetScsiOs(&os);
    InstallTransport(&SptiTransport(), kTransportSpti);
    uint8_t out[28] = {};
    ScsiRequest r;
    r.letter = 'K';
    r.direction = 1;
    r.data = out;
    r.dataLength = sizeof(out);
    (void)Transport().TransportExecute(&r);
    EXPECT_EQ(os.sent.DataIn, SCSI_IOCTL_DATA_OUT);
    EXPECT_EQ(os.sent.SenseInfoLength, 0);
}

// ---- drive letters -------------------------------------------------------------

TEST_F(ScsiWinTest, WalksTheRealDriveLetters) {
    // The default system seam of this build is the real one.
    System& real = Sys();
    const uint32_t mask = real.LogicalDrives();
    ASSERT_NE(mask & (1u << ('C' - 'A')), 0u) << "Wine always has C:";
    std::string cdroms;
    for (char l = 'A'; l <= 'Z'; ++l)
        if ((mask >> (l - 'A')) & 1)
            if (real.DriveType(std::string{l, ':', '\\'}) == kDriveCdrom) cdroms += l;

    DriveAddress address{};
    std::string found;
    for (int more = FindCdromLetter('A', &address); more;
         more = FindCdromLetter(address.letter + 1, &address))
        found += static_cast<char>(address.letter);
    EXPECT_EQ(found, cdroms);
    EXPECT_EQ(FindCdromLetter('Z' + 1, &address), 0);
}

TEST_F(ScsiWinTest, SptiInitOnWine) {
    EXPECT_EQ(SptiInit(), 1);
    EXPECT_EQ(GetSptiStatus(), 4u) << "no CD-ROM letter, or one that opens";
    EXPECT_EQ(GetSptiAccessMask(), kGenericRead | kGenericWrite);
}

TEST_F(ScsiWinTest, OpeningAMissingDriveFailsAtOnce) {
    VirtualClock clock;
    SetClock(&clock);
    char letter = 0;
    const DWORD mask = ::GetLogicalDrives();
    for (char l = 'Q'; l <= 'Y' && !letter; ++l)
        if (!((mask >> (l - 'A')) & 1)) letter = l;
    ASSERT_NE(letter, 0);
    void* handle = nullptr;
    uint32_t error = 0;
    EXPECT_FALSE(OpenDriveDevice(static_cast<uint32_t>(letter), &handle, &error));
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, kErrorSharingViolation);
    EXPECT_EQ(clock.Elapsed(), 0u);
    ScsiRequest r;
    r.letter = static_cast<uint32_t>(letter);
    InstallTransport(&SptiTransport(), kTransportSpti);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, static_cast<int32_t>(error));
    EXPECT_EQ(r.targetStatus, -1);
}

// ---- ASPI ------------------------------------------------------------------------

TEST_F(ScsiWinTest, WinesOwnAspiManagerHasNoAdapters) {
    ASSERT_EQ(AspiLoad(), 1);
    EXPECT_EQ(GetAspiStatus(), 3u);
    EXPECT_EQ(GetAspiAdapterCount(), 0u);
    EXPECT_NE(GetAspiLibraryPath().find("wnaspi32"), std::string::npos) << GetAspiLibraryPath();
    InstallTransport(&AspiTransport(), kTransportAspi);
    DriveAddress address;
    EXPECT_EQ(Transport().FindFirstDrive(&address), 0);
    // A command to a missing adapter comes back from the manager as a failure.
    ScsiRequest r;
    r.cdbLength = 6;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_NE(r.aspiStatus, -1);
    EXPECT_NE(r.aspiStatus, 1);
}

TEST_F(ScsiWinTest, ScsiInitOnWinePrefersSptiUnlessAsked) {
    EXPECT_EQ(SCSIInit(kPreferSpti), kTransportSpti);
    EXPECT_EQ(GetAspiStatus(), 3u);
    EXPECT_EQ(IsDriveAccessBroken(), 0);
    EXPECT_EQ(SCSIInit(kPreferAspi), kTransportAspi);
    EXPECT_EQ(SCSIInit(kPreferAspi | kDisableAspi), kTransportSpti);
}

// A manager with one CD-ROM drive at adapter 0, target 1, on top of the real
// registry (through the Registry seam's advapi32 back end): the letter comes from
// Wine's HKEY_DYN_DATA and HKEY_LOCAL_MACHINE.
uint32_t OneAdapter() { return 0x0101; }
uint32_t OneDrive(void* srb) {
    auto* header = static_cast<aspi::SRB_Header*>(srb);
    if (header->SRB_Cmd == aspi::SC_HA_INQUIRY) return header->SRB_Status = aspi::SS_COMP;
    if (header->SRB_Cmd == aspi::SC_GET_DEV_TYPE) {
        auto* device = static_cast<aspi::SRB_GDEVBlock*>(srb);
        if (device->SRB_Target != 1) return device->SRB_Status = aspi::SS_NO_DEVICE;
        device->SRB_DeviceType = aspi::DTYPE_CDROM;
        return device->SRB_Status = aspi::SS_COMP;
    }
    return aspi::SS_INVALID_CMD;
}
int32_t TranslateToNode(uint32_t* path, uint32_t* devNode) {
    if (*path != 0x000100) return 0;
    *devNode = 0x00C0FFEE;
    return 1;
}

class FakeManagerOs : public PassThroughOs {
public:
    bool LoadModule(const char*) override { return true; }
    void* ModuleProc(const char* name) override {
        const std::string n = name;
        if (n == "GetASPI32SupportInfo") return reinterpret_cast<void*>(&OneAdapter);
        if (n == "SendASPI32Command") return reinterpret_cast<void*>(&OneDrive);
        if (n == "TranslateASPI32Address") return reinterpret_cast<void*>(&TranslateToNode);
        return nullptr;
    }
};

bool SetRegString(HKEY root, const char* path, const char* name, const char* value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG r = ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                    static_cast<DWORD>(std::strlen(value) + 1));
    ::RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

TEST_F(ScsiWinTest, LetterFromTheConfigurationManager) {
    FakeManagerOs os;
    SetScsiOs(&os);
    ASSERT_EQ(AspiLoad(), 1);
    DriveAddress address;
    ASSERT_EQ(GetLetter(0, 0, &address), 1);
    EXPECT_EQ(address.target, 1u);
    EXPECT_EQ(address.letter, 0u) << "no registry data yet";

    ASSERT_TRUE(SetRegString(HKEY_DYN_DATA, "Config Manager\\Enum\\00C0FFEE", "HardWareKey",
                             "SCSI\\TARVIK_CD\\ROOT&0"));
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\TARVIK_CD\\ROOT&0",
                             "CurrentDriveLetterAssignment", "R"));
    ASSERT_EQ(GetLetter(0, 0, &address), 1);
    EXPECT_EQ(address.adapter, 0u);
    EXPECT_EQ(address.target, 1u);
    EXPECT_EQ(address.letter, uint32_t{'R'});
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\TARVIK_CD\\ROOT&0");
    ::RegDeleteKeyA(HKEY_DYN_DATA, "Config Manager\\Enum\\00C0FFEE");
}

TEST_F(ScsiWinTest, EventsOfTheRealSystem) {
    ScsiOs& os = DefaultScsiOs();
    void* event = os.NewEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(os.WaitEvent(event, 10));
    ::SetEvent(static_cast<HANDLE>(event));
    EXPECT_TRUE(os.WaitEvent(event, 10));
    EXPECT_FALSE(os.WaitEvent(event, 10)) << "auto-reset";
    os.CloseEvent(event);
}

}  // namespace
}  // namespace tarvik
