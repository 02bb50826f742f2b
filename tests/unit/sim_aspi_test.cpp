// The ASPI manager behind the test wnaspi32.dll, and the drive state it keeps
// between program runs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "scsi/aspi_defs.h"
#include "sim_aspi.h"
#include "sim_state.h"
#include "sim_test_util.h"

namespace tarvik::simtest {
namespace {

using namespace tarvik::aspi;

Profile Cd(const std::string& extra = "") {
    return ProfileFromText(R"({"name": "cd", "speeds": {"cd": {"read": [7056, 2822, 1411],
        "spinUpMs": 0}}, "medium": {"kind": "cd"}, "latencyMs": {"default": 0})" +
                           extra + "}");
}

SRB_ExecSCSICmd Exec(uint8_t target, std::initializer_list<uint8_t> cdb, uint8_t* buf, uint32_t len,
                     uint8_t flags) {
    SRB_ExecSCSICmd s;
    std::memset(&s, 0, sizeof s);
    s.SRB_Cmd = SC_EXEC_SCSI_CMD;
    s.SRB_Target = target;
    s.SRB_Flags = flags;
    s.SRB_BufLen = len;
    s.SRB_BufPointer = buf;
    s.SRB_SenseLen = SENSE_LEN;
    s.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), s.CDBByte);
    return s;
}

TEST(SimAspi, SupportInfoCountsAdaptersOrReportsNone) {
    Bus bus;
    AspiManager aspi(bus);
    EXPECT_EQ(aspi.SupportInfo(), 0xE800u);  // SS_NO_ADAPTERS
    for (int i = 0; i < 17; ++i) bus.Add(Cd());
    EXPECT_EQ(aspi.SupportInfo(), 0x0102u);  // 17 drives: two adapters of 16 targets
    aspi.SetFailed(true);
    EXPECT_EQ(aspi.SupportInfo() >> 8, SS_FAILED_INIT);
}

TEST(SimAspi, AdapterInquiryAndDeviceTypes) {
    Bus bus;
    bus.Add(Cd());
    bus.Add(Cd());
    AspiManager aspi(bus);
    SRB_HAInquiry ha;
    std::memset(&ha, 0, sizeof ha);
    ha.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(aspi.Send(&ha, nullptr), SS_COMP);
    EXPECT_EQ(ha.HA_Count, 1);
    EXPECT_EQ(ha.HA_Unique[3], 16);
    ha.SRB_HaId = 1;
    EXPECT_EQ(aspi.Send(&ha, nullptr), SS_INVALID_HA);

    for (uint8_t t : {0, 1, 2}) {
        SRB_GDEVBlock dev;
        std::memset(&dev, 0, sizeof dev);
        dev.SRB_Cmd = SC_GET_DEV_TYPE;
        dev.SRB_Target = t;
        const uint32_t status = aspi.Send(&dev, nullptr);
        EXPECT_EQ(status, t < 2 ? SS_COMP : SS_NO_DEVICE) << int(t);
        if (t < 2) {
            EXPECT_EQ(dev.SRB_DeviceType, DTYPE_CDROM);
        }
    }
    SRB_Header unknown{};
    unknown.SRB_Cmd = 0x7F;
    EXPECT_EQ(aspi.Send(&unknown, nullptr), SS_INVALID_CMD);
    EXPECT_EQ(aspi.Send(nullptr, nullptr), SS_INVALID_SRB);
}

TEST(SimAspi, ExecutionWithEventCompletesThenSignals) {
    Bus bus;
    bus.Add(Cd());
    AspiManager aspi(bus);
    uint8_t buf[36] = {};
    int event = 0;
    void* signalled = nullptr;
    SRB_ExecSCSICmd s = Exec(0, {0x12, 0, 0, 0, 36, 0}, buf, 36, SRB_DIR_IN | SRB_EVENT_NOTIFY);
    s.SRB_PostProc = &event;
    // The status is final before the event is set.
    uint8_t statusAtSignal = 0;
    EXPECT_EQ(aspi.Send(&s,
                        [&](void* e) {
                            signalled = e;
                            statusAtSignal = s.SRB_Status;
                        }),
              SS_PENDING);
    EXPECT_EQ(signalled, &event);
    EXPECT_EQ(statusAtSignal, SS_COMP);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 8), 8), "TARVIKSM");

    // Without the event flag the status is the return value.
    SRB_ExecSCSICmd sync = Exec(0, {0x00, 0, 0, 0, 0, 0}, nullptr, 0, 0);
    EXPECT_EQ(aspi.Send(&sync, nullptr), SS_COMP);
    EXPECT_TRUE(aspi.TakeChanged());
    EXPECT_FALSE(aspi.TakeChanged());
}

TEST(SimAspi, CheckConditionFillsSenseArea) {
    Bus bus;
    bus.Add(Cd(R"(, "tray": {"locked": true})"));
    AspiManager aspi(bus);
    SRB_ExecSCSICmd s = Exec(0, {0x1B, 0, 0, 0, 0x02, 0}, nullptr, 0, 0);
    EXPECT_EQ(aspi.Send(&s, nullptr), SS_ERR);
    EXPECT_EQ(s.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(s.SRB_HaStat, HASTAT_OK);
    EXPECT_EQ(s.SenseArea[0], 0x70);
    EXPECT_EQ(s.SenseArea[2], 0x05);
    EXPECT_EQ(s.SenseArea[12], 0x53);
    EXPECT_EQ(s.SenseArea[13], 0x02);
}

TEST(SimAspi, TransportFaultsAndMissingDevices) {
    Bus bus;
    bus.Add(Cd(R"(, "faults": [{"opcode": "0x00", "error": "timeout"},
                               {"opcode": "0x00", "error": "transport"}])"));
    AspiManager aspi(bus);
    int event = 0;
    bool signalled = false;
    SRB_ExecSCSICmd t = Exec(0, {0x00, 0, 0, 0, 0, 0}, nullptr, 0, SRB_EVENT_NOTIFY);
    t.SRB_PostProc = &event;
    EXPECT_EQ(aspi.Send(&t, [&](void*) { signalled = true; }), SS_PENDING);
    EXPECT_EQ(t.SRB_Status, SS_PENDING);
    EXPECT_FALSE(signalled);  // a time-out never completes

    SRB_ExecSCSICmd e = Exec(0, {0x00, 0, 0, 0, 0, 0}, nullptr, 0, 0);
    EXPECT_EQ(aspi.Send(&e, nullptr), SS_ERR);
    EXPECT_EQ(e.SRB_HaStat, HASTAT_DO_DU);

    SRB_ExecSCSICmd missing = Exec(5, {0x00, 0, 0, 0, 0, 0}, nullptr, 0, 0);
    EXPECT_EQ(aspi.Send(&missing, nullptr), SS_NO_DEVICE);
    EXPECT_EQ(missing.SRB_HaStat, HASTAT_SEL_TO);

    uint8_t buf[8];
    SRB_ExecSCSICmd both =
        Exec(0, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, buf, 8, SRB_DIR_IN | SRB_DIR_OUT);
    EXPECT_EQ(aspi.Send(&both, nullptr), SS_INVALID_SRB);
}

TEST(SimAspi, ProfileListsFromVariableAndFile) {
    EXPECT_EQ(SplitProfileList(" a.json;;b c.json ; "),
              (std::vector<std::string>{"a.json", "b c.json"}));
    const std::string list = testing::TempDir() + "wnaspi32.sim";
    std::ofstream(list) << "# drives\n\ndvd.json\r\n/abs/cd.json\nC:\\x\\bd.json\n";
    std::vector<std::string> paths;
    ASSERT_TRUE(ReadProfileListFile(list, paths));
    EXPECT_EQ(paths, (std::vector<std::string>{testing::TempDir() + "dvd.json", "/abs/cd.json",
                                               "C:\\x\\bd.json"}));
    EXPECT_FALSE(ReadProfileListFile(list + ".missing", paths));
}

TEST(SimState, SpeedsTrayAndLockSurviveARestart) {
    Bus first;
    first.Add(Cd());
    first.Add(Cd());
    ASSERT_TRUE(Send(first, 0, SetCdSpeedCdb(2822)).outcome.Good());
    ASSERT_TRUE(Send(first, 1, Cdb({0x1B, 0, 0, 0, 0x02}, 6)).outcome.Good());
    ASSERT_TRUE(Send(first, 0, Cdb({0x1E, 0, 0, 0, 1}, 6)).outcome.Good());
    const std::string text = BusStateText(first);

    Bus second;
    second.Add(Cd());
    second.Add(Cd());
    std::string error;
    ASSERT_TRUE(ApplyBusStateText(second, text, error)) << error;
    EXPECT_EQ(second.At(0).SpeedInForce(Family::Cd), 2822u);
    EXPECT_TRUE(second.At(0).Locked());
    EXPECT_TRUE(second.At(1).TrayOpen());
    EXPECT_EQ(second.At(1).SpeedInForce(Family::Cd), 7056u);
    // Restored media count as spun up: no spin-up and no unit attention again.
    EXPECT_TRUE(Send(second, 0, Cdb({0x00}, 6)).outcome.Good());
}

TEST(SimState, BadOrForeignStateChangesNothing) {
    Bus bus;
    bus.Add(Cd());
    ASSERT_TRUE(Send(bus, 0, SetCdSpeedCdb(1411)).outcome.Good());
    std::string error;
    for (const char* bad : {"", "{", "[]", R"({"drives": 3})",
                            R"({"drives": [{"profile": "cd", "medium": {"kind": "tape"}}]})",
                            R"({"drives": [{"profile": "cd", "medium": {"kind": "cd"},
                                "trayOpen": "yes"}]})"}) {
        EXPECT_FALSE(ApplyBusStateText(bus, bad, error)) << bad;
        EXPECT_EQ(bus.At(0).SpeedInForce(Family::Cd), 1411u) << bad;
    }
    // Another profile at this position: its state is not applied.
    Bus other;
    Profile p = Cd();
    p.name = "other";
    other.Add(p);
    ASSERT_TRUE(ApplyBusStateText(other, BusStateText(bus), error)) << error;
    EXPECT_EQ(other.At(0).SpeedInForce(Family::Cd), 7056u);
    // A speed the profile does not have falls back to its top speed.
    std::string text = BusStateText(bus);
    text.replace(text.find("1411"), 4, "1234");
    ASSERT_TRUE(ApplyBusStateText(bus, text, error)) << error;
    EXPECT_EQ(bus.At(0).SpeedInForce(Family::Cd), 7056u);
}

TEST(SimState, SharedFilePicksUpAnotherProcessesDiscChange) {
    const std::string path = testing::TempDir() + "shared-" + std::to_string(::getpid()) + ".state";
    std::remove(path.c_str());
    // "program": long-running, spin-up 3 s.
    Bus program;
    program.Add(Cd(R"(, "unitAttention": true)"));
    Profile slow = program.At(0).profile();
    slow.Speeds(Family::Cd).spinUpMs = 3000;
    Bus running;
    running.Add(slow);
    SharedStateFile shared(path);
    std::string error;
    ASSERT_TRUE(shared.Load(running, error)) << error;  // no file yet: nothing happens
    ASSERT_TRUE(Send(running, 0, SetCdSpeedCdb(2822)).outcome.Good());
    ASSERT_TRUE(shared.Save(running, error)) << error;
    ASSERT_TRUE(shared.Refresh(running, error));  // our own save is not a change
    EXPECT_TRUE(Send(running, 0, Cdb({0x00}, 6)).outcome.Good());

    // "tarvikctl sim 0 insert cd-audio": another bus loads, changes, saves.
    Bus tool;
    tool.Add(slow);
    ASSERT_TRUE(LoadBusState(tool, path, error)) << error;
    EXPECT_EQ(tool.At(0).SpeedInForce(Family::Cd), 2822u);
    Medium audio;
    audio.kind = MediumKind::Cd;
    audio.content = CdContent::Audio;
    ASSERT_TRUE(tool.At(0).OpenTray());
    tool.At(0).InsertMedium(audio);
    tool.At(0).CloseTray();
    ASSERT_TRUE(SaveBusState(tool, path, error)) << error;

    ASSERT_TRUE(shared.Refresh(running, error)) << error;
    EXPECT_EQ(running.At(0).medium().content, CdContent::Audio);
    EXPECT_EQ(running.At(0).SpeedInForce(Family::Cd), 7056u);  // a disc change restores it
    EXPECT_EQ(SenseOf(Send(running, 0, Cdb({0x00}, 6)).outcome), "02/04/01");
    running.virtualClock().Advance(3000);
    EXPECT_EQ(SenseOf(Send(running, 0, Cdb({0x00}, 6)).outcome), "06/28/00");
    EXPECT_EQ(SenseOf(Send(running, 0, Cdb({0x00}, 6)).outcome), "good");

    // The file vanishing for a moment (being replaced) changes nothing.
    std::remove(path.c_str());
    ASSERT_TRUE(shared.Refresh(running, error));
    EXPECT_EQ(running.At(0).medium().content, CdContent::Audio);
    std::ofstream(path) << "garbage";
    EXPECT_FALSE(shared.Refresh(running, error));
    EXPECT_EQ(running.At(0).medium().content, CdContent::Audio);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace tarvik::simtest
