// The ASPI set against a scripted ASPI manager: loading, the drive search with
// letter resolution, and SRB execution including the time-out.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "base/log.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/registry_memory.h"
#include "scsi/aspi.h"
#include "scsi/aspi_defs.h"
#include "scsi/mmc.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"

namespace tarvik {
namespace {

using testing_support::FakeOs;
using testing_support::FakeSystem;

// A manager with adapters, devices on them and a configuration manager.
struct FakeManager {
    uint32_t supportInfo = 0x0100;
    std::vector<uint8_t> maxTargets;                 // per adapter: HA_Unique[3]
    std::map<std::pair<int, int>, uint8_t> devices;  // (adapter, target) -> device type
    std::vector<std::pair<int, int>> deviceQueries;
    std::map<uint32_t, uint32_t> devNodes;  // path -> device node
    std::vector<uint32_t> translatedPaths;
    // Plays the drive for SC_EXEC_SCSI_CMD; returns what SendASPI32Command returns.
    std::function<uint32_t(aspi::SRB_ExecSCSICmd*)> exec;
    std::vector<aspi::SRB_ExecSCSICmd> execs;
    std::vector<std::vector<uint8_t>> dataSeen;
};

FakeManager* g_manager = nullptr;

uint32_t SupportInfo() { return g_manager->supportInfo; }

uint32_t Send(void* srb) {
    auto* header = static_cast<aspi::SRB_Header*>(srb);
    switch (header->SRB_Cmd) {
        case aspi::SC_HA_INQUIRY: {
            auto* inquiry = static_cast<aspi::SRB_HAInquiry*>(srb);
            if (inquiry->SRB_HaId >= g_manager->maxTargets.size())
                return inquiry->SRB_Status = aspi::SS_INVALID_HA;
            inquiry->HA_Count = static_cast<uint8_t>(g_manager->maxTargets.size());
            inquiry->HA_Unique[3] = g_manager->maxTargets[inquiry->SRB_HaId];
            return inquiry->SRB_Status = aspi::SS_COMP;
        }
        case aspi::SC_GET_DEV_TYPE: {
            auto* device = static_cast<aspi::SRB_GDEVBlock*>(srb);
            g_manager->deviceQueries.push_back({device->SRB_HaId, device->SRB_Target});
            auto it = g_manager->devices.find({device->SRB_HaId, device->SRB_Target});
            if (it == g_manager->devices.end()) return device->SRB_Status = aspi::SS_NO_DEVICE;
            device->SRB_DeviceType = it->second;
            return device->SRB_Status = aspi::SS_COMP;
        }
        case aspi::SC_EXEC_SCSI_CMD: {
            auto* exec = static_cast<aspi::SRB_ExecSCSICmd*>(srb);
            g_manager->execs.push_back(*exec);
            g_manager->dataSeen.emplace_back(exec->SRB_BufPointer,
                                             exec->SRB_BufPointer + exec->SRB_BufLen);
            return g_manager->exec ? g_manager->exec(exec) : (exec->SRB_Status = aspi::SS_COMP);
        }
        default: return aspi::SS_INVALID_CMD;
    }
}

int32_t Translate(uint32_t* path, uint32_t* devNode) {
    g_manager->translatedPaths.push_back(*path);
    auto it = g_manager->devNodes.find(*path);
    if (it == g_manager->devNodes.end()) return 0;
    *devNode = it->second;
    return 1;
}

class AspiTest : public ::testing::Test {
public:
    void SetUp() override {
        ResetTransportState();
        g_manager = &manager_;
        SetSystem(&system_);
        SetScsiOs(&os_);
        SetClock(&clock_);
        SetRegistry(&registry_);
        os_.libraryPresent = true;
        os_.procs["GetASPI32SupportInfo"] = reinterpret_cast<void*>(&SupportInfo);
        os_.procs["SendASPI32Command"] = reinterpret_cast<void*>(&Send);
        os_.procs["TranslateASPI32Address"] = reinterpret_cast<void*>(&Translate);
    }
    void TearDown() override {
        ResetTransportState();
        g_manager = nullptr;
        SetSystem(nullptr);
        SetScsiOs(nullptr);
        SetClock(nullptr);
        SetRegistry(nullptr);
    }
    void Load(std::vector<uint8_t> maxTargets) {
        manager_.maxTargets = std::move(maxTargets);
        manager_.supportInfo = 0x0100 | static_cast<uint32_t>(manager_.maxTargets.size());
        ASSERT_EQ(AspiLoad(), 1);
        InstallTransport(&AspiTransport(), kTransportAspi);
    }
    // Registry entries that give the drive at (a, t) the letter.
    void Assign(int a, int t, uint32_t devNode, const std::string& letter) {
        manager_.devNodes[(a << 16) | (t << 8)] = devNode;
        char key[64];
        std::snprintf(key, sizeof(key), "Config Manager\\Enum\\%08X", devNode);
        const std::string hw = "SCSI\\DRIVE" + std::to_string(devNode);
        SetString(kHkeyDynData, key, "HardWareKey", hw);
        SetString(kHkeyLocalMachine, "Enum\\" + hw, "CurrentDriveLetterAssignment", letter);
    }
    void SetString(RegHandle root, const std::string& key, const char* name,
                   const std::string& text, bool withNul = true) {
        const RegKey k =
            RegKey::Create(root, key.c_str(), kKeyAllAccess, nullptr, nullptr, &registry_);
        ASSERT_TRUE(k);
        ASSERT_EQ(k.Set(name, kRegSz, text.c_str(),
                        static_cast<uint32_t>(text.size() + (withNul ? 1 : 0))),
                  kRegOk);
    }

    FakeManager manager_;
    FakeSystem system_;
    FakeOs os_;
    VirtualClock clock_;
    MemoryRegistry registry_;
};

TEST_F(AspiTest, LoadStates) {
    os_.libraryPresent = false;
    EXPECT_EQ(AspiLoad(), 0);
    EXPECT_EQ(GetAspiStatus(), 1u);
    EXPECT_EQ(os_.loads, (std::vector<std::string>{"wnaspi32.dll"}));

    os_.libraryPresent = true;
    os_.procs.erase("SendASPI32Command");
    EXPECT_EQ(AspiLoad(), 0);
    EXPECT_EQ(GetAspiStatus(), 2u);

    os_.procs["SendASPI32Command"] = reinterpret_cast<void*>(&Send);
    manager_.supportInfo = 0x0400;  // SS_ERR from the manager
    EXPECT_EQ(AspiLoad(), 0);
    EXPECT_EQ(GetAspiStatus(), 2u);

    manager_.supportInfo = 0x0103;
    EXPECT_EQ(AspiLoad(), 1);
    EXPECT_EQ(GetAspiStatus(), 3u);
    EXPECT_EQ(GetAspiAdapterCount(), 3u);
    EXPECT_EQ(GetAspiLibraryPath(), os_.libraryPath);
    // Loaded once for the life of the process.
    EXPECT_EQ(os_.loads.size(), 2u);

    manager_.supportInfo = 0xE800;
    EXPECT_EQ(AspiLoad(), 1);
    EXPECT_EQ(GetAspiStatus(), 3u);
    EXPECT_EQ(GetAspiAdapterCount(), 0u);
}

struct ScanCase {
    const char* name;
    uint8_t reported;
    size_t scanned;
};

class AspiScanTest : public AspiTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(AspiScanTest, TargetCountFromTheAdapter) {
    Load({GetParam().reported});
    DriveAddress address;
    EXPECT_EQ(GetLetter(0, 0, &address), 0);
    EXPECT_EQ(manager_.deviceQueries.size(), GetParam().scanned);
    EXPECT_EQ(manager_.deviceQueries.back(), std::make_pair(0, int(GetParam().scanned - 1)));
}

INSTANTIATE_TEST_SUITE_P(Targets, AspiScanTest,
                         ::testing::Values(ScanCase{"Unreported", 0, 8}, ScanCase{"Four", 4, 4},
                                           ScanCase{"Sixteen", 16, 16},
                                           ScanCase{"WideBus", 32, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AspiTest, FindsDrivesAcrossAdaptersWithLetters) {
    Load({8, 0, 32});
    manager_.devices = {{{0, 1}, 0x00},
                        {{0, 3}, aspi::DTYPE_CDROM},
                        {{1, 0}, aspi::DTYPE_CDROM},
                        {{2, 12}, aspi::DTYPE_CDROM}};
    Assign(0, 3, 0xC29A10, "E");
    Assign(2, 12, 0xC2A000, "g");  // lower case from a hand-edited registry
    std::vector<DriveAddress> found;
    DriveAddress address;
    for (int more = Transport().FindFirstDrive(&address); more;
         more = Transport().FindNextDrive(&address))
        found.push_back(address);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].adapter, 0u);
    EXPECT_EQ(found[0].target, 3u);
    EXPECT_EQ(found[0].letter, uint32_t{'E'});
    EXPECT_EQ(found[1].adapter, 1u);
    EXPECT_EQ(found[1].target, 0u);
    EXPECT_EQ(found[1].letter, 0u) << "unresolved letters still give a drive";
    EXPECT_EQ(found[2].adapter, 2u);
    EXPECT_EQ(found[2].target, 12u);
    EXPECT_EQ(found[2].lun, 0u);
    EXPECT_EQ(found[2].letter, uint32_t{'G'});
    EXPECT_EQ(manager_.translatedPaths, (std::vector<uint32_t>{0x000300, 0x010000, 0x020C00}));
    EXPECT_EQ(registry_.OpenHandles(), 0u) << "every key closed again";
}

struct BrokenRegistryCase {
    const char* name;
    std::function<void(AspiTest&)> damage;
};

class AspiLetterTest : public AspiTest, public ::testing::WithParamInterface<BrokenRegistryCase> {};

TEST_P(AspiLetterTest, AnyBrokenStepLeavesTheLetterZero) {
    Load({8});
    manager_.devices = {{{0, 2}, aspi::DTYPE_CDROM}};
    Assign(0, 2, 0x1234, "D");
    GetParam().damage(*this);
    DriveAddress address;
    ASSERT_EQ(GetLetter(0, 0, &address), 1);
    EXPECT_EQ(address.target, 2u);
    EXPECT_EQ(address.letter, 0u);
    EXPECT_EQ(registry_.OpenHandles(), 0u);
}

constexpr const char* kHardware = "Enum\\SCSI\\DRIVE4660";

INSTANTIATE_TEST_SUITE_P(
    Registry, AspiLetterTest,
    ::testing::Values(
        BrokenRegistryCase{"NoDevNodeKey",
                           [](AspiTest& t) {
                               (void)t.registry_.DeleteKey(kHkeyDynData,
                                                           "Config Manager\\Enum\\00001234");
                           }},
        BrokenRegistryCase{
            "NoHardwareKey",
            [](AspiTest& t) { (void)t.registry_.DeleteKey(kHkeyLocalMachine, kHardware); }},
        BrokenRegistryCase{"NoAssignment",
                           [](AspiTest& t) {
                               const RegKey k = RegKey::Open(kHkeyLocalMachine, kHardware,
                                                             kKeyAllAccess, nullptr, &t.registry_);
                               (void)k.DeleteValue("CurrentDriveLetterAssignment");
                           }},
        BrokenRegistryCase{"AssignmentTooLong",
                           [](AspiTest& t) {
                               t.SetString(kHkeyLocalMachine, kHardware,
                                           "CurrentDriveLetterAssignment", "DE");
                           }},
        BrokenRegistryCase{"AssignmentNotALetter",
                           [](AspiTest& t) {
                               t.SetString(kHkeyLocalMachine, kHardware,
                                           "CurrentDriveLetterAssignment", "?");
                           }},
        BrokenRegistryCase{"TranslationFails", [](AspiTest&) { g_manager->devNodes.clear(); }},
        BrokenRegistryCase{"NoTranslateEntry",
                           [](AspiTest& t) {
                               t.os_.procs.erase("TranslateASPI32Address");
                               (void)AspiLoad();
                           }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AspiTest, HardwareKeyWithoutTerminatorIsReadSafely) {
    Load({8});
    manager_.devices = {{{0, 0}, aspi::DTYPE_CDROM}};
    Assign(0, 0, 0x77, "F");
    SetString(kHkeyDynData, "Config Manager\\Enum\\00000077", "HardWareKey", "SCSI\\DRIVE119",
              false);
    DriveAddress address;
    ASSERT_EQ(GetLetter(0, 0, &address), 1);
    EXPECT_EQ(address.letter, uint32_t{'F'});
}

TEST_F(AspiTest, FailedTranslationIsLogged) {
    Load({8});
    manager_.devices = {{{0, 5}, aspi::DTYPE_CDROM}};
    char dir[] = "/tmp/tarvik-aspi-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string base = std::string(dir) + "/t";
    ASSERT_EQ(LogOpen(base.c_str(), ".log"), 1);
    const std::string path = LogPath();
    DriveAddress address;
    EXPECT_EQ(GetLetter(0, 0, &address), 1);
    Assign(0, 5, 0xAB, "D");
    EXPECT_EQ(GetLetter(0, 0, &address), 1);
    LogClose();
    FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char text[512] = {};
    (void)std::fread(text, 1, sizeof(text) - 1, f);
    std::fclose(f);
    std::remove(path.c_str());
    rmdir(dir);
    EXPECT_NE(std::strstr(text, "GetLetter: DllTranslateASPI32Address *FAILED*\n"), nullptr);
    EXPECT_NE(std::strstr(text, "GetLetter: DevNode=Config Manager\\Enum\\000000AB\n"), nullptr);
}

TEST_F(AspiTest, ExecuteFillsTheSrb) {
    Load({8});
    uint8_t answer[36] = {};
    manager_.exec = [](aspi::SRB_ExecSCSICmd* srb) {
        std::memset(srb->SRB_BufPointer, 0x5A, srb->SRB_BufLen);
        return srb->SRB_Status = aspi::SS_COMP;
    };
    ScsiRequest r;
    r.adapter = 1;
    r.target = 4;
    r.lun = 0;
    r.cdbLength = 6;
    r.cdb[0] = 0x12;
    r.cdb[4] = 36;
    r.senseLength = 0;  // ASPI asks for sense whatever the caller wants
    r.data = answer;
    r.dataLength = sizeof(answer);
    EXPECT_EQ(Transport().TransportExecute(&r), 1);
    ASSERT_EQ(manager_.execs.size(), 1u);
    const aspi::SRB_ExecSCSICmd& srb = manager_.execs[0];
    EXPECT_EQ(srb.SRB_Cmd, aspi::SC_EXEC_SCSI_CMD);
    EXPECT_EQ(srb.SRB_HaId, 1);
    EXPECT_EQ(srb.SRB_Target, 4);
    EXPECT_EQ(srb.SRB_Flags, aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY);
    EXPECT_EQ(srb.SRB_BufLen, 36u);
    EXPECT_EQ(srb.SRB_SenseLen, 14);
    EXPECT_EQ(srb.SRB_CDBLen, 6);
    EXPECT_EQ(srb.CDBByte[0], 0x12);
    EXPECT_EQ(srb.CDBByte[4], 36);
    // SRB_PostProc sits at offset 28 of the packed block, and gtest takes its
    // arguments by reference: compare a copy.
    void* const postProc = srb.SRB_PostProc;
    EXPECT_NE(postProc, nullptr);
    EXPECT_EQ(answer[0], 0x5A);
    EXPECT_EQ(answer[35], 0x5A);
    EXPECT_EQ(r.aspiStatus, 1);
    EXPECT_EQ(r.adapterStatus, 0);
    EXPECT_EQ(r.targetStatus, 0);
    EXPECT_EQ(r.senseKey, 0);
    EXPECT_EQ(r.senseLength, 14u);
    EXPECT_EQ(r.osError, -1);
    EXPECT_EQ(os_.eventsClosed.size(), 1u);
}

TEST_F(AspiTest, WriteDataAndFlags) {
    Load({8});
    uint8_t out[4] = {1, 2, 3, 4};
    ScsiRequest write;
    write.direction = 1;
    write.data = out;
    write.dataLength = sizeof(out);
    ASSERT_EQ(Transport().TransportExecute(&write), 1);
    ScsiRequest none;
    ASSERT_EQ(Transport().TransportExecute(&none), 1);
    EXPECT_EQ(manager_.execs[0].SRB_Flags, aspi::SRB_DIR_OUT | aspi::SRB_EVENT_NOTIFY);
    EXPECT_EQ(manager_.dataSeen[0], (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(manager_.execs[1].SRB_Flags, aspi::SRB_EVENT_NOTIFY);
    EXPECT_EQ(manager_.execs[1].SRB_BufPointer, nullptr);
}

TEST_F(AspiTest, PendingCommandCompletesThroughTheEvent) {
    Load({8});
    aspi::SRB_ExecSCSICmd* live = nullptr;
    manager_.exec = [&](aspi::SRB_ExecSCSICmd* srb) {
        live = srb;
        return aspi::SS_PENDING;
    };
    os_.wait = [&](void* event, uint32_t) {
        void* const postProc = live->SRB_PostProc;  // packed: copied, as above
        EXPECT_EQ(event, postProc);
        live->SRB_Status = aspi::SS_ERR;
        live->SRB_HaStat = 0;
        live->SRB_TargStat = 2;
        live->SenseArea[0] = 0x70;
        live->SenseArea[2] = 0x02;
        return true;
    };
    ScsiRequest r;
    r.cdbLength = 6;
    EXPECT_EQ(ScsiExecute(&r), 0);
    // NOT READY is retried under ASPI: the sense area is always filled.
    EXPECT_EQ(manager_.execs.size(), 3u);
    EXPECT_EQ(os_.waitTimes, (std::vector<uint32_t>{30000, 30000, 30000}));
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.osError, -1);
    EXPECT_EQ(last.aspiStatus, 4);
    EXPECT_EQ(last.adapterStatus, 0);
    EXPECT_EQ(last.targetStatus, 2);
    EXPECT_EQ(last.senseKey, 2);
}

TEST_F(AspiTest, ImmediateErrorIsTheResult) {
    Load({8});
    manager_.exec = [](aspi::SRB_ExecSCSICmd* srb) {
        return srb->SRB_Status = aspi::SS_INVALID_HA;
    };
    ScsiRequest r;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.aspiStatus, 0x81);
    EXPECT_TRUE(os_.waitTimes.empty());
}

TEST_F(AspiTest, TimeOutLeavesTheBlockWithTheManager) {
    Load({8});
    aspi::SRB_ExecSCSICmd* live = nullptr;
    manager_.exec = [&](aspi::SRB_ExecSCSICmd* srb) {
        live = srb;
        return aspi::SS_PENDING;
    };
    os_.wait = [](void*, uint32_t) { return false; };
    const size_t parkedBefore = ParkedAspiCommandCount();
    uint8_t answer[64] = {};
    ScsiRequest r;
    r.data = answer;
    r.dataLength = sizeof(answer);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.aspiStatus, 0);
    EXPECT_EQ(r.adapterStatus, -1);
    EXPECT_EQ(r.targetStatus, -1);
    EXPECT_EQ(r.senseKey, -1);
    EXPECT_EQ(ParkedAspiCommandCount(), parkedBefore + 1);
    EXPECT_TRUE(os_.eventsClosed.empty()) << "the manager may still signal it";
    // The manager finishing late writes into its own copy, not the caller's buffer.
    ASSERT_NE(live, nullptr);
    EXPECT_NE(live->SRB_BufPointer, answer);
    std::memset(live->SRB_BufPointer, 0xEE, live->SRB_BufLen);
    live->SRB_Status = aspi::SS_COMP;
    EXPECT_EQ(answer[0], 0);
}

TEST_F(AspiTest, NoEventNoCommand) {
    Load({8});
    os_.eventsWork = false;
    ScsiRequest r;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_TRUE(manager_.execs.empty());
}

TEST_F(AspiTest, WithoutTheManagerEverythingFails) {
    InstallTransport(&AspiTransport(), kTransportAspi);
    ScsiRequest r;
    r.aspiStatus = r.osError = 3;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.aspiStatus, -1);
    EXPECT_EQ(r.osError, -1);
    DriveAddress address;
    EXPECT_EQ(Transport().FindFirstDrive(&address), 0);
    EXPECT_NE(Transport().TransportOpen(&r), nullptr);
}

TEST_F(AspiTest, LoadEjectIsRetriedWhenNotReady) {
    Load({8});
    manager_.exec = [](aspi::SRB_ExecSCSICmd* srb) {
        srb->SRB_TargStat = 2;
        srb->SenseArea[0] = 0x70;
        srb->SenseArea[2] = 0x02;
        return srb->SRB_Status = aspi::SS_ERR;
    };
    EXPECT_EQ(LoadEjectCDROM(DriveAddress{0, 1, 0, 'E'}, 1), 0);
    EXPECT_EQ(manager_.execs.size(), 3u);
    EXPECT_EQ(clock_.Elapsed(), 1000u);
}

}  // namespace
}  // namespace tarvik
