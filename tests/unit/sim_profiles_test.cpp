// The shipped profiles as the core's MMC operations see them: each profile
// must show the drive behaviour its name promises.
#include <gtest/gtest.h>

#include "scsi/mmc.h"
#include "sim_test_util.h"
#include "sim_transport.h"

namespace tarvik::simtest {
namespace {

enum class Method { CdSpeed, Streaming };

struct SpeedCase {
    const char* name;
    const char* profile;
    Method method;
    uint32_t request;
    bool accepted;         // the speed command's result
    uint32_t performance;  // GetDVDSpeed afterwards (0: not reported that way)
    uint32_t pageCurrent;  // GetCDSpeed afterwards
    uint32_t pageMax;      // maxReadSpeed of GetCDROMInfo afterwards
};

class SimProfileSpeeds : public testing::TestWithParam<SpeedCase> {
protected:
    void TearDown() override { UninstallSimTransport(); }
    Bus bus_;
};

TEST_P(SimProfileSpeeds, CoreSeesTheDrivesSpeedBehaviour) {
    const SpeedCase& c = GetParam();
    std::string error;
    ASSERT_TRUE(bus_.AddFile(ProfilePath(std::string(c.profile) + ".json"), error)) << error;
    InstallSimTransport(bus_);
    const DriveAddress d = SimAddress(bus_, 0);
    const int ok = c.method == Method::CdSpeed
                       ? SetCDROMSpeed(d, static_cast<int32_t>(c.request), 0xFFFF)
                       : SetDVDSpeed(d, c.request, 0);
    EXPECT_EQ(ok != 0, c.accepted);
    EXPECT_EQ(GetDVDSpeed(d), c.performance);
    EXPECT_EQ(GetCDSpeed(d), c.pageCurrent);
    CdromCapabilities caps;
    ASSERT_NE(GetCDROMInfo(d, &caps), 0);
    EXPECT_EQ(caps.maxReadSpeed, c.pageMax);
}

INSTANTIATE_TEST_SUITE_P(
    Shipped, SimProfileSpeeds,
    testing::Values(
        // DVD in a 24x writer: SET STREAMING rules, SET CD SPEED is ignored.
        SpeedCase{"DvdWriterStreaming", "dvdrw-24x-streaming", Method::Streaming, 8310, true, 8310,
                  8310, 22160},
        SpeedCase{"DvdWriterIgnoresCdSpeed", "dvdrw-24x-streaming", Method::CdSpeed, 8310, true,
                  22160, 22160, 22160},
        // Accepts, ignores, reports fixed page values and the maximum.
        SpeedCase{"OwnSpeedDrive", "ignores-read-speed", Method::CdSpeed, 1411, true, 7056, 0x160C,
                  0x160C},
        // Rounds up, reports the request, refuses End LBA FFFFFFFFh, zones.
        SpeedCase{"RoundUpRefusesAllOnesEnd", "rounds-up-streaming-end", Method::Streaming, 8000,
                  false, 0, 22160, 22160},
        SpeedCase{"RoundUpReportsRequest", "rounds-up-streaming-end", Method::CdSpeed, 8000, true,
                  0, 8000, 22160},
        // Emulator: no SET CD SPEED, fixed 706, header-only performance.
        SpeedCase{"EmulatorRejects", "emulator-rejects-speed", Method::CdSpeed, 1411, false, 0, 706,
                  706},
        // Old CD-ROM: rounds down, knows no GET PERFORMANCE.
        SpeedCase{"OldCdromRoundsDown", "cdrom-old-blockdesc", Method::CdSpeed, 3000, true, 0, 2822,
                  5645},
        SpeedCase{"BdComboStreaming", "bd-combo-12x", Method::Streaming, 17980, true, 17980, 17980,
                  53940},
        SpeedCase{"SlimObeysStreamingOnCd", "slim-laptop-24x", Method::Streaming, 2000, true, 1764,
                  1764, 4234},
        // Exact DVD speeds only; the page's maximum follows the speed in force.
        SpeedCase{"ExactRefusesOther", "dvdrom-16x-reports-set-speed", Method::CdSpeed, 11000,
                  false, 22160, 22160, 22160},
        SpeedCase{"MaxFollowsSpeedInForce", "dvdrom-16x-reports-set-speed", Method::CdSpeed, 11080,
                  true, 11080, 11080, 11080},
        // Rounds to the nearest; the Write bit in the performance header: not a read speed.
        SpeedCase{"NearestWithWriteBitPerformance", "cdrw-page-without-header", Method::CdSpeed,
                  5000, true, 0, 5645, 8467}),
    [](const testing::TestParamInfo<SpeedCase>& i) { return std::string(i.param.name); });

struct MediumCase {
    const char* profile;
    uint32_t pageShifted;
    uint8_t mediumType;
    int32_t profileCode;
    int dvdFeature;
    int bdFeature;
};

TEST(SimProfileMedium, CoreSeesPagePlacementMediumAndFeatures) {
    const MediumCase cases[] = {
        {"dvdrw-24x-streaming", 0, 0x00, 0x10, 1, 0},
        {"cdrom-old-blockdesc", 1, 0x00, -1, 0, 0},  // no GET CONFIGURATION at all
        {"cdrw-page-without-header", 1, 0x00, 0x0A, 0, 0},
        {"slim-laptop-24x", 0, 0x11, 0x09, 1, 0},  // CD-R data disc
        // Its fixed list starts with the profile list whatever is asked: no
        // feature is "found", as a drive that does not know it.
        {"emulator-rejects-speed", 0, 0x70, 0x10, 0, 0},
        {"bd-combo-12x", 0, 0x00, 0x41, 1, 1},
        {"ignores-read-speed", 0, 0x01, 0x08, 1, 0},
    };
    for (const MediumCase& c : cases) {
        Bus bus;
        std::string error;
        ASSERT_TRUE(bus.AddFile(ProfilePath(std::string(c.profile) + ".json"), error)) << error;
        InstallSimTransport(bus);
        const DriveAddress d = SimAddress(bus, 0);
        CdromCapabilities caps;
        ASSERT_NE(GetCDROMInfo(d, &caps), 0) << c.profile;
        EXPECT_EQ(caps.pageShifted, c.pageShifted) << c.profile;
        EXPECT_EQ(caps.mediumType, c.mediumType) << c.profile;
        EXPECT_EQ(GetCDROMProfile(d), c.profileCode) << c.profile;
        EXPECT_EQ(CheckCDROMFeature(d, FEATURE_DVD), c.dvdFeature) << c.profile;
        EXPECT_EQ(CheckCDROMFeature(d, FEATURE_BD), c.bdFeature) << c.profile;
        UninstallSimTransport();
    }
}

}  // namespace
}  // namespace tarvik::simtest
