// The simulated drive's behaviour that the drive logic relies on: speed
// rounding and which commands a family obeys, readiness, unit attention,
// the tray lock, read timing on the virtual clock and fault rules.
#include <gtest/gtest.h>

#include <set>

#include "sim_test_util.h"

namespace tarvik::simtest {
namespace {

std::string CdDrive(const std::string& cdExtra, const std::string& rest = "") {
    return R"({"speeds": {"cd": {"read": [7056, 5645, 4234, 2822, 1411], "spinUpMs": 0)" + cdExtra +
           R"(}}, "medium": {"kind": "cd"})" + rest + "}";
}

struct RoundingCase {
    const char* name;
    std::string settings;
    uint32_t request;
    std::string sense;  // "good" or the sense of the refusal
    uint32_t inForce;
};

class SimRounding : public testing::TestWithParam<RoundingCase> {};

TEST_P(SimRounding, MapsRequestOntoSupportedSpeed) {
    const RoundingCase& c = GetParam();
    Bus bus;
    bus.Add(ProfileFromText(CdDrive(c.settings)));
    // Start from a speed other than the default so "unchanged" is visible.
    ASSERT_EQ(SenseOf(Send(bus, 0, SetCdSpeedCdb(4234)).outcome), "good");
    EXPECT_EQ(SenseOf(Send(bus, 0, SetCdSpeedCdb(c.request)).outcome), c.sense);
    EXPECT_EQ(bus.At(0).SpeedInForce(Family::Cd), c.inForce);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimRounding,
    testing::Values(
        RoundingCase{"DownBetween", R"(, "rounding": "down")", 3000, "good", 2822},
        RoundingCase{"DownXTimes177", R"(, "rounding": "down")", 8 * 177, "good", 1411},
        RoundingCase{"DownExact", R"(, "rounding": "down")", 5645, "good", 5645},
        RoundingCase{"AboveMaxIsMax", R"(, "rounding": "down")", 9000, "good", 7056},
        RoundingCase{"FFFFIsMax", R"(, "rounding": "up")", 0xFFFF, "good", 7056},
        RoundingCase{"UpBetween", R"(, "rounding": "up")", 3000, "good", 4234},
        RoundingCase{"NearestLow", R"(, "rounding": "nearest")", 3000, "good", 2822},
        RoundingCase{"NearestHigh", R"(, "rounding": "nearest")", 4000, "good", 4234},
        RoundingCase{"ExactRejectsOther", R"(, "rounding": "exact")", 3000, "05/24/00", 4234},
        RoundingCase{"ExactAcceptsListed", R"(, "rounding": "exact")", 2822, "good", 2822},
        RoundingCase{"BelowMinSlowest", R"(, "belowMin": "slowest")", 176, "good", 1411},
        RoundingCase{"BelowMinIgnored", R"(, "belowMin": "ignore")", 176, "good", 4234},
        RoundingCase{"BelowMinRejected", R"(, "belowMin": "reject")", 176, "05/24/00", 4234}),
    [](const testing::TestParamInfo<RoundingCase>& i) { return std::string(i.param.name); });

struct ObeyCase {
    const char* name;
    const char* setCdSpeed;
    const char* setStreaming;
    bool viaStreaming;
    std::string sense;
    uint32_t inForce;
};

class SimObey : public testing::TestWithParam<ObeyCase> {};

TEST_P(SimObey, FamilyObeysOnlyItsCommands) {
    const ObeyCase& c = GetParam();
    Bus bus;
    bus.Add(ProfileFromText(std::string(R"({"speeds": {"cd": {"read": [7056]},
        "dvd": {"read": [16620, 11080, 5540], "spinUpMs": 0, "setCdSpeed": ")") +
                            c.setCdSpeed + R"(", "setStreaming": ")" + c.setStreaming +
                            R"("}}, "medium": {"kind": "dvd"}})"));
    const Result r = c.viaStreaming ? Send(bus, 0, StreamingCdb(), 0, StreamingDescriptor(11080))
                                    : Send(bus, 0, SetCdSpeedCdb(11080));
    EXPECT_EQ(SenseOf(r.outcome), c.sense);
    EXPECT_EQ(bus.At(0).SpeedInForce(Family::Dvd), c.inForce);
    EXPECT_EQ(bus.At(0).SpeedInForce(Family::Cd), 7056u);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimObey,
    testing::Values(ObeyCase{"StreamingObeyed", "ignore", "obey", true, "good", 11080},
                    ObeyCase{"CdSpeedIgnored", "ignore", "obey", false, "good", 16620},
                    ObeyCase{"CdSpeedObeyed", "obey", "ignore", false, "good", 11080},
                    ObeyCase{"StreamingIgnored", "obey", "ignore", true, "good", 16620},
                    ObeyCase{"CdSpeedRejected", "reject", "obey", false, "05/24/00", 16620},
                    ObeyCase{"CdSpeedUnknown", "unknown", "obey", false, "05/20/00", 16620},
                    ObeyCase{"StreamingUnknown", "obey", "unknown", true, "05/20/00", 16620}),
    [](const testing::TestParamInfo<ObeyCase>& i) { return std::string(i.param.name); });

TEST(SimDrive, ReportedCurrentSpeedFollowsProfileMode) {
    struct Case {
        std::string mode;
        uint32_t expected;
    };
    for (const Case& c : {Case{R"("inForce")", 2822}, Case{R"("requested")", 3000},
                          Case{R"("max")", 7056}, Case{R"("zero")", 0}, Case{"5644", 5644}}) {
        Bus bus;
        bus.Add(ProfileFromText(CdDrive(R"(, "reportCurrent": )" + c.mode)));
        ASSERT_TRUE(Send(bus, 0, SetCdSpeedCdb(3000)).outcome.Good());
        EXPECT_EQ(CurrentReadSpeedReported(bus, 0), c.expected) << c.mode;
    }
}

TEST(SimDrive, SpinUpIsNotReadyThenUnitAttentionOnceThenReady) {
    Bus bus;
    bus.Add(ProfileFromText(
        R"({"speeds": {"cd": {"read": [7056], "spinUpMs": 2000}}, "latencyMs": {"default": 0}})"));
    const std::vector<uint8_t> tur(6, 0);
    EXPECT_EQ(SenseOf(Send(bus, 0, tur).outcome), "02/3A/00");  // empty drive

    Medium cd;
    cd.kind = MediumKind::Cd;
    bus.At(0).InsertMedium(cd);
    EXPECT_EQ(SenseOf(Send(bus, 0, tur).outcome), "02/04/01");
    bus.virtualClock().Advance(1999);
    EXPECT_EQ(SenseOf(Send(bus, 0, tur).outcome), "02/04/01");
    bus.virtualClock().Advance(1);
    // INQUIRY does not consume the unit attention.
    EXPECT_TRUE(Send(bus, 0, Cdb({0x12, 0, 0, 0, 36}, 6), 36).outcome.Good());
    EXPECT_EQ(SenseOf(Send(bus, 0, tur).outcome), "06/28/00");
    EXPECT_EQ(SenseOf(Send(bus, 0, tur).outcome), "good");
    EXPECT_EQ(SenseOf(Send(bus, 0, tur).outcome), "good");
}

TEST(SimDrive, PowerOnAttentionAndEmulatorOrderOfSenses) {
    Bus bus;
    bus.Add(ProfileFromText(R"({"speeds": {"cd": {"read": [7056], "spinUpMs": 0}},
        "medium": {"kind": "cd"}, "powerOnAttention": true, "noMediumBeforeAttention": true,
        "latencyMs": {"default": 0}})"));
    const std::vector<uint8_t> tur(6, 0);
    EXPECT_TRUE(Send(bus, 0, Cdb({0x12, 0, 0, 0, 36}, 6), 36).outcome.Good());
    std::vector<std::string> senses;
    for (int i = 0; i < 2; ++i) senses.push_back(SenseOf(Send(bus, 0, tur).outcome));
    ASSERT_TRUE(bus.At(0).OpenTray());
    bus.At(0).CloseTray();
    for (int i = 0; i < 3; ++i) senses.push_back(SenseOf(Send(bus, 0, tur).outcome));
    EXPECT_EQ(senses,
              (std::vector<std::string>{"06/29/00", "good", "02/3A/00", "06/28/00", "good"}));
}

TEST(SimDrive, MediumChangeRestoresDefaultSpeedUnlessPersistent) {
    for (const char* persist : {"none", "streaming", "always"}) {
        Bus bus;
        bus.Add(ProfileFromText(std::string(R"({"speeds": {"cd": {"read": [7056]},
            "dvd": {"read": [16620, 5540], "spinUpMs": 0, "persist": ")") +
                                persist + R"("}}, "medium": {"kind": "dvd"}})"));
        ASSERT_TRUE(Send(bus, 0, StreamingCdb(), 0, StreamingDescriptor(5540)).outcome.Good());
        ASSERT_TRUE(bus.At(0).OpenTray());
        bus.At(0).CloseTray();
        const bool kept = std::string(persist) != "none";
        EXPECT_EQ(bus.At(0).SpeedInForce(Family::Dvd), kept ? 5540u : 16620u) << persist;
    }
}

TEST(SimDrive, LockedTrayRefusesEjectAndButton) {
    Bus bus;
    bus.Add(ProfileFromText(CdDrive("")));
    const auto eject = Cdb({0x1B, 0, 0, 0, 0x02}, 6);
    const auto load = Cdb({0x1B, 0, 0, 0, 0x03}, 6);
    ASSERT_TRUE(Send(bus, 0, Cdb({0x1E, 0, 0, 0, 1}, 6)).outcome.Good());
    EXPECT_EQ(SenseOf(Send(bus, 0, eject).outcome), "05/53/02");
    EXPECT_FALSE(bus.At(0).OpenTray());
    EXPECT_FALSE(bus.At(0).TrayOpen());

    ASSERT_TRUE(Send(bus, 0, Cdb({0x1E, 0, 0, 0, 0}, 6)).outcome.Good());
    EXPECT_TRUE(Send(bus, 0, eject).outcome.Good());
    EXPECT_TRUE(bus.At(0).TrayOpen());
    EXPECT_EQ(SenseOf(Send(bus, 0, Cdb({0}, 6)).outcome), "02/3A/00");
    EXPECT_TRUE(Send(bus, 0, load).outcome.Good());
    EXPECT_FALSE(bus.At(0).TrayOpen());
}

TEST(SimDrive, TrayThatCannotCloseRejectsOrIgnoresLoad) {
    for (const char* failure : {"reject", "ignore"}) {
        Bus bus;
        bus.Add(ProfileFromText(CdDrive("", std::string(R"(, "tray": {"open": true,
            "canClose": false, "closeFailure": ")") +
                                                failure + R"("})")));
        const Outcome o = Send(bus, 0, Cdb({0x1B, 0, 0, 0, 0x03}, 6)).outcome;
        EXPECT_EQ(SenseOf(o), std::string(failure) == "reject" ? "05/24/00" : "good");
        EXPECT_TRUE(bus.At(0).TrayOpen());
        bus.At(0).CloseTray();  // by hand it closes
        EXPECT_FALSE(bus.At(0).TrayOpen());
    }
}

TEST(SimDrive, ReadTimeFollowsSpeedInForceOnVirtualClock) {
    struct Case {
        std::string profile;
        uint32_t speed;
        uint32_t blocks;
        uint64_t expectedMs;
    };
    const Case cases[] = {
        // CD: 75 sectors/s per 176 KB/s. 4x (706) = ~300 sectors/s: 3000 sectors ~ 10 s.
        {CdDrive(R"(, "read": [7056, 706])"), 706, 3000, 9971},
        {CdDrive(R"(, "read": [7056, 706])"), 7056, 3000, 997},
        // DVD: 1000-byte kilobytes of 2048-byte sectors. 11080 KB/s: 5410 sectors/s.
        {R"({"speeds": {"cd": {"read": [7056]}, "dvd": {"read": [11080], "spinUpMs": 0}},
            "medium": {"kind": "dvd"}, "latencyMs": {"default": 0}})",
         11080, 54100, 9999},
    };
    for (const Case& c : cases) {
        std::string text = c.profile;
        Profile p = ProfileFromText(text);
        p.latencyMs = 0;
        Bus bus;
        bus.Add(p);
        const Family f = bus.At(0).medium().kind == MediumKind::Dvd ? Family::Dvd : Family::Cd;
        if (f == Family::Cd) {
            ASSERT_TRUE(Send(bus, 0, SetCdSpeedCdb(c.speed)).outcome.Good());
        }
        ASSERT_EQ(bus.At(0).SpeedInForce(f), c.speed);
        const uint64_t t0 = bus.virtualClock().Elapsed();
        for (uint32_t lba = 0; lba < c.blocks; lba += 25) {
            std::vector<uint8_t> read = Cdb({0x28}, 10);
            PutBe32(&read[2], lba);
            PutBe16(&read[7], 25);
            ASSERT_TRUE(Send(bus, 0, read, 25 * 2048).outcome.Good());
        }
        const uint64_t spent = bus.virtualClock().Elapsed() - t0;
        EXPECT_NEAR(static_cast<double>(spent), static_cast<double>(c.expectedMs), 2.0) << c.speed;
    }
}

TEST(SimDrive, ReadReturnsStampedBlocksAndRefusesBeyondTheDisc) {
    Bus bus;
    Profile p = ProfileFromText(CdDrive(""));
    p.medium.blocks = 100;
    bus.Add(p);
    std::vector<uint8_t> read = Cdb({0x28}, 10);
    PutBe32(&read[2], 98);
    PutBe16(&read[7], 2);
    const Result r = Send(bus, 0, read, 4096);
    ASSERT_TRUE(r.outcome.Good());
    ASSERT_EQ(r.data.size(), 4096u);
    EXPECT_EQ(GetBe32(&r.data[0]), 98u);
    EXPECT_EQ(GetBe32(&r.data[2048]), 99u);
    PutBe16(&read[7], 3);
    EXPECT_EQ(SenseOf(Send(bus, 0, read, 6144).outcome), "05/21/00");
}

TEST(SimDrive, AudioCdHasNoDataBlocks) {
    Bus bus;
    bus.Add(ProfileFromText(R"({"speeds": {"cd": {"read": [7056]}},
        "medium": {"kind": "cd", "content": "audio"}, "audioStatus": "playing"})"));
    EXPECT_EQ(SenseOf(Send(bus, 0, Cdb({0x28, 0, 0, 0, 0, 0, 0, 0, 1}, 10), 2048).outcome),
              "05/64/00");
    const Result sub = Send(bus, 0, Cdb({0x42, 0, 0, 1, 0, 0, 0, 0, 16}, 10), 16);
    ASSERT_TRUE(sub.outcome.Good());
    EXPECT_EQ(sub.data[1], 0x11);
}

TEST(SimDrive, UnknownOpcodeAndShortCdb) {
    Bus bus;
    bus.Add(ProfileFromText(CdDrive("")));
    EXPECT_EQ(SenseOf(Send(bus, 0, Cdb({0xA8}, 12)).outcome), "05/20/00");  // READ(12)
    EXPECT_EQ(SenseOf(Send(bus, 0, Cdb({0xFF}, 16)).outcome), "05/20/00");
    EXPECT_EQ(SenseOf(Send(bus, 0, Cdb({0xBB}, 6)).outcome), "05/24/00");
    EXPECT_EQ(SenseOf(Send(bus, 0, {}).outcome), "05/20/00");
}

TEST(SimDrive, FaultRulesFireAfterCountForTheirTimes) {
    Bus bus;
    bus.Add(ProfileFromText(CdDrive("", R"(, "faults": [
        {"opcode": "0xBB", "after": 2, "times": 2, "sense": "03/11/00"},
        {"opcode": "0x25", "error": "timeout"},
        {"opcode": "0x00", "after": 1, "error": "vanish"}])")));
    std::vector<std::string> seen;
    for (int i = 0; i < 5; ++i) seen.push_back(SenseOf(Send(bus, 0, SetCdSpeedCdb(2822)).outcome));
    EXPECT_EQ(seen, (std::vector<std::string>{"good", "good", "03/11/00", "03/11/00", "good"}));

    const uint64_t t0 = bus.virtualClock().Elapsed();
    EXPECT_EQ(Send(bus, 0, Cdb({0x25}, 10), 8).outcome.completion, Completion::Timeout);
    EXPECT_GE(bus.virtualClock().Elapsed() - t0, 30000u);
    EXPECT_TRUE(Send(bus, 0, Cdb({0x25}, 10), 8).outcome.Good());

    EXPECT_TRUE(Send(bus, 0, Cdb({0x00}, 6)).outcome.Good());
    EXPECT_EQ(Send(bus, 0, Cdb({0x00}, 6)).outcome.completion, Completion::Gone);
    EXPECT_EQ(Send(bus, 0, Cdb({0x12, 0, 0, 0, 36}, 6), 36).outcome.completion, Completion::Gone);
}

// Answers that lie: cut short (the rest of the buffer untouched), claimed
// longer than the buffer, and noise in every byte, the same for one seed.
TEST(SimDrive, FaultRulesSpoilAnswers) {
    Bus bus;
    bus.Add(ProfileFromText(CdDrive("", R"(, "faults": [
        {"opcode": "0x12", "times": 1, "error": "short", "bytes": 8},
        {"opcode": "0x12", "after": 1, "times": 1, "error": "long"},
        {"opcode": "0x5A", "times": 2, "error": "garbage", "seed": 7},
        {"opcode": "0x25", "times": 1, "error": "garbage"}])")));
    const std::vector<uint8_t> inquiry = {0x12, 0, 0, 0, 36, 0};
    Result cut = Send(bus, 0, inquiry, 36);
    ASSERT_TRUE(cut.outcome.Good());
    EXPECT_EQ(cut.outcome.bytesIn, 8u);
    Result claimed = Send(bus, 0, inquiry, 36);
    EXPECT_EQ(claimed.outcome.bytesIn, 36u + 64u);
    EXPECT_EQ(std::string(claimed.data.begin() + 8, claimed.data.begin() + 16), "TARVIKSM");

    std::vector<uint8_t> buffer(64, 0xEE);
    Command c;
    const std::vector<uint8_t> sense = ModeSenseCdb();
    c.cdb = sense;
    c.dataIn = buffer;
    ASSERT_TRUE(bus.Execute(0, c).Good());
    const std::vector<uint8_t> first = buffer;
    ASSERT_TRUE(bus.Execute(0, c).Good());
    EXPECT_NE(buffer, first);  // each command its own noise
    EXPECT_GT(std::set<uint8_t>(first.begin(), first.end()).size(), 16u);
    EXPECT_EQ(Send(bus, 0, Cdb({0x25}, 10), 8).data, std::vector<uint8_t>(8, 0xFF));

    Bus again;
    again.Add(bus.At(0).profile());
    std::vector<uint8_t> replay(64, 0xEE);
    c.dataIn = replay;
    ASSERT_TRUE(again.Execute(0, c).Good());
    EXPECT_EQ(replay, first);
}

TEST(SimDrive, TraceRecordsEveryCommandAsJson) {
    Bus bus;
    Profile p = ProfileFromText(CdDrive(R"(, "belowMin": "reject")"));
    p.latencyMs = 3;
    bus.Add(p);
    bus.virtualClock().Set(1000);
    (void)Send(bus, 0, SetCdSpeedCdb(100));
    (void)Send(bus, 0, StreamingCdb(), 0, StreamingDescriptor(1411));
    ASSERT_EQ(bus.Trace().size(), 2u);
    EXPECT_EQ(TraceJson(bus.Trace()[0]),
              R"({"t":1000,"drive":0,"cdb":"BB000064FFFF000000000000","status":2,)"
              R"("sense":"05/24/00","in":0})");
    const std::string second = TraceJson(bus.Trace()[1]);
    EXPECT_NE(second.find(R"("t":1003)"), std::string::npos);
    EXPECT_NE(second.find(R"("out":"0000000000000000FFFFFFFF00000583000003E8)"), std::string::npos);
    EXPECT_NE(second.find(R"("status":0,"in":0)"), std::string::npos);
    EXPECT_EQ(second.find("sense"), std::string::npos);
}

}  // namespace
}  // namespace tarvik::simtest
