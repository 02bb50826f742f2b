// The simulator seen through the core's transport table: addresses, status
// fields per transport style, and the retry of ScsiExecute on the bus clock.
#include <gtest/gtest.h>

#include <filesystem>

#include "scsi/transport.h"
#include "sim_test_util.h"
#include "sim_transport.h"

namespace tarvik::simtest {
namespace {

class SimTransport : public testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            Profile p = ProfileFromText(
                R"({"speeds": {"cd": {"read": [7056, 1411], "spinUpMs": 2000}},
                    "medium": {"kind": "cd"}, "latencyMs": {"default": 0}})");
            bus_.Add(p);
        }
    }
    void TearDown() override { UninstallSimTransport(); }

    ScsiRequest Tur(const DriveAddress& a, uint32_t senseLength = 16) {
        ScsiRequest r;
        r.SetAddress(a);
        r.cdbLength = 6;
        r.senseLength = senseLength;
        return r;
    }

    Bus bus_;
};

TEST_F(SimTransport, EnumeratesDrivesWithLettersAndSkipsVanished) {
    InstallSimTransport(bus_);
    EXPECT_EQ(GetTransportMode(), kTransportSpti);
    bus_.At(1).Vanish();
    DriveAddress a;
    std::vector<std::pair<uint32_t, uint32_t>> seen;  // letter, target
    for (int found = Transport().FindFirstDrive(&a); found; found = Transport().FindNextDrive(&a))
        seen.push_back({a.letter, a.target});
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, uint32_t>>{{'D', 0}, {'F', 2}}));

    ScsiRequest r = Tur(SimAddress(bus_, 1));
    EXPECT_EQ(Transport().TransportOpen(&r), nullptr);
    EXPECT_EQ(r.osError, 2);
}

TEST_F(SimTransport, RoutesByLetterOrByAdapterTarget) {
    InstallSimTransport(bus_);
    DriveAddress byLetter{0, 0, 0, 'E'};
    DriveAddress byTarget{0, 2, 0, 0};
    EXPECT_EQ(SimDriveIndex(bus_, byLetter), 1);
    EXPECT_EQ(SimDriveIndex(bus_, byTarget), 2);
    EXPECT_EQ(SimDriveIndex(bus_, DriveAddress{0, 0, 0, 'Q'}), -1);
    EXPECT_EQ(SimDriveIndex(bus_, DriveAddress{0, 3, 0, 0}), -1);
    ScsiRequest r = Tur(byTarget);
    EXPECT_EQ(Transport().TransportExecute(&r), 1);
    ASSERT_EQ(bus_.Trace().size(), 1u);
    EXPECT_EQ(bus_.Trace()[0].drive, 2u);
}

TEST_F(SimTransport, SptiStyleHonoursSenseLength) {
    InstallSimTransport(bus_);
    bus_.At(0).RemoveMedium();
    ScsiRequest withSense = Tur(SimAddress(bus_, 0));
    EXPECT_EQ(Transport().TransportExecute(&withSense), 0);
    EXPECT_EQ(withSense.targetStatus, 2);
    EXPECT_EQ(withSense.senseKey, 2);
    EXPECT_EQ(withSense.senseLength, 16u);
    EXPECT_EQ(withSense.sense[12], 0x3A);
    EXPECT_EQ(withSense.aspiStatus, -1);

    ScsiRequest noSense = Tur(SimAddress(bus_, 0), 0);
    EXPECT_EQ(Transport().TransportExecute(&noSense), 0);
    EXPECT_EQ(noSense.targetStatus, 2);
    EXPECT_EQ(noSense.senseKey, -1);
    EXPECT_EQ(noSense.senseLength, 0u);
}

TEST_F(SimTransport, AspiStyleAlwaysReturnsFourteenSenseBytes) {
    InstallSimTransport(bus_, TransportStyle::Aspi);
    EXPECT_EQ(GetTransportMode(), kTransportAspi);
    bus_.At(0).RemoveMedium();
    ScsiRequest r = Tur(SimAddress(bus_, 0), 0);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.aspiStatus, 4);  // SS_ERR
    EXPECT_EQ(r.adapterStatus, 0);
    EXPECT_EQ(r.senseLength, 14u);
    EXPECT_EQ(r.senseKey, 2);
    bus_.At(0).Vanish();
    ScsiRequest gone = Tur(SimAddress(bus_, 0));
    EXPECT_EQ(Transport().TransportExecute(&gone), 0);
    EXPECT_EQ(gone.aspiStatus, 0x82);  // SS_NO_DEVICE
}

TEST_F(SimTransport, ScsiExecuteWaitsOutSpinUpOnTheBusClock) {
    InstallSimTransport(bus_);
    EXPECT_EQ(&GetClock(), &bus_.clock());
    Medium cd;
    cd.kind = MediumKind::Cd;
    bus_.At(0).RemoveMedium();
    bus_.At(0).InsertMedium(cd);  // 2000 ms to spin up
    // READ CAPACITY through ScsiExecute: three attempts, 500 ms apart, all NOT READY.
    uint8_t answer[16] = {};
    ScsiRequest r;
    r.SetAddress(SimAddress(bus_, 0));
    r.cdbLength = 10;
    r.cdb[0] = 0x25;
    r.senseLength = 16;
    r.data = answer;
    r.dataLength = sizeof answer;
    const uint64_t t0 = bus_.virtualClock().Elapsed();
    EXPECT_EQ(ScsiExecute(&r), 0);
    EXPECT_EQ(bus_.virtualClock().Elapsed() - t0, 1000u);
    EXPECT_EQ(bus_.Trace().size(), 3u);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.senseKey, 2);

    bus_.virtualClock().Advance(1000);
    // Ready now: the unit attention is retried at once, then the answer comes.
    ScsiRequest again;
    again.SetAddress(SimAddress(bus_, 0));
    again.cdbLength = 10;
    again.cdb[0] = 0x25;
    again.senseLength = 16;
    again.data = answer;
    again.dataLength = sizeof answer;
    EXPECT_NE(ScsiExecute(&again), 0);
    EXPECT_EQ(GetBe32(answer), 333000u - 1);
    EXPECT_EQ(again.dataLength, 8u);
}

TEST(SimBus, ShippedProfilesLoad) {
    namespace fs = std::filesystem;
    int count = 0;
    for (const auto& entry :
         fs::directory_iterator(std::string(TARVIK_SOURCE_DIR) + "/sim/profiles")) {
        if (entry.path().extension() != ".json") continue;
        Bus bus;
        std::string error;
        EXPECT_TRUE(bus.AddFile(entry.path().string(), error)) << error;
        ++count;
    }
    EXPECT_GE(count, 3);
}

}  // namespace
}  // namespace tarvik::simtest
