// Transport choice, the retry of ScsiExecute and the last-error record.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "scsi/aspi.h"
#include "scsi/aspi_defs.h"
#include "scsi/spti.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

using testing_support::Fail;
using testing_support::FakeOs;
using testing_support::FakeSystem;
using testing_support::Ok;
using testing_support::ScriptedTransport;

uint32_t g_supportInfo = 0;
uint32_t FakeSupportInfo() { return g_supportInfo; }
uint32_t FakeSend(void*) { return aspi::SS_INVALID_HA; }

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTransportState();
        SetSystem(&system_);
        SetScsiOs(&os_);
        SetClock(&clock_);
    }
    void TearDown() override {
        ResetTransportState();
        SetSystem(nullptr);
        SetScsiOs(nullptr);
        SetClock(nullptr);
    }

    enum class Aspi { kMissing, kBroken, kNoAdapters, kOk };
    enum class Spti { kNot9x, kUsable, kDenied };

    void Arrange(Aspi aspiState, Spti sptiState) {
        os_.libraryPresent = aspiState != Aspi::kMissing;
        if (aspiState != Aspi::kMissing && aspiState != Aspi::kBroken) {
            os_.procs["GetASPI32SupportInfo"] = reinterpret_cast<void*>(&FakeSupportInfo);
            os_.procs["SendASPI32Command"] = reinterpret_cast<void*>(&FakeSend);
        }
        g_supportInfo = aspiState == Aspi::kNoAdapters ? 0xE800 : 0x0102;
        system_.version.platformId = sptiState == Spti::kNot9x ? 1 : 2;
        system_.drives = {{'C', 3}, {'D', kDriveCdrom}};
        if (sptiState == Spti::kDenied) os_.openError['D'] = 5;
    }

    FakeSystem system_;
    FakeOs os_;
    VirtualClock clock_;
};

TEST_F(TransportTest, BeforeInitEveryCommandFailsCleanly) {
    EXPECT_EQ(GetTransportMode(), kTransportAspi);
    EXPECT_EQ(GetAspiStatus(), 0u);
    EXPECT_EQ(GetSptiStatus(), 0u);
    EXPECT_EQ(IsDriveAccessBroken(), 1);
    ScsiRequest request;
    request.cdbLength = 6;
    EXPECT_EQ(ScsiExecute(&request), 0);
    EXPECT_EQ(request.aspiStatus, -1);
    DriveAddress address;
    EXPECT_EQ(Transport().FindFirstDrive(&address), 0);
}

struct ChoiceCase {
    uint32_t flags;
    int aspi;  // TransportTest::Aspi
    int spti;  // TransportTest::Spti
    uint32_t mode;
    uint32_t aspiStatus;
    uint32_t sptiStatus;
    int broken;
};

class TransportChoiceTest : public TransportTest,
                            public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(TransportChoiceTest, ChoosesAndReports) {
    const ChoiceCase& c = GetParam();
    Arrange(static_cast<Aspi>(c.aspi), static_cast<Spti>(c.spti));
    EXPECT_EQ(SCSIInit(c.flags), c.mode);
    EXPECT_EQ(GetTransportMode(), c.mode);
    const ScsiTransport& expected = c.mode == kTransportSpti ? SptiTransport() : AspiTransport();
    EXPECT_EQ(Transport().TransportExecute, expected.TransportExecute);
    EXPECT_EQ(GetAspiStatus(), c.aspiStatus);
    EXPECT_EQ(GetSptiStatus(), c.sptiStatus);
    EXPECT_EQ(IsDriveAccessBroken(), c.broken);
}

constexpr int kMissing = 0, kBroken = 1, kNoAdapters = 2, kOk = 3;
constexpr int kNot9x = 0, kUsable = 1, kDenied = 2;

INSTANTIATE_TEST_SUITE_P(
    AllCombinations, TransportChoiceTest,
    ::testing::Values(
        // "Disable ASPI": SPTI even when it is unusable, and ASPI is not even loaded.
        ChoiceCase{4, kOk, kUsable, 1, 0, 4, 0}, ChoiceCase{4 | 2, kOk, kDenied, 1, 0, 3, 1},
        ChoiceCase{4 | 1, kOk, kNot9x, 1, 0, 1, 1},
        // ASPI does not load or is broken: SPTI whatever the preference.
        ChoiceCase{2, kMissing, kUsable, 1, 1, 4, 0}, ChoiceCase{2, kBroken, kUsable, 1, 2, 4, 1},
        ChoiceCase{1, kMissing, kDenied, 1, 1, 3, 1}, ChoiceCase{0, kMissing, kNot9x, 1, 1, 1, 1},
        // ASPI usable: SPTI unless it fails or ASPI is preferred.
        ChoiceCase{1, kOk, kUsable, 1, 3, 4, 0}, ChoiceCase{0, kOk, kUsable, 1, 3, 4, 0},
        ChoiceCase{2, kOk, kUsable, 2, 3, 4, 0}, ChoiceCase{3, kOk, kUsable, 2, 3, 4, 0},
        ChoiceCase{1, kOk, kDenied, 2, 3, 3, 0}, ChoiceCase{1, kOk, kNot9x, 2, 3, 1, 0},
        ChoiceCase{1, kNoAdapters, kNot9x, 2, 3, 1, 0},
        ChoiceCase{2, kNoAdapters, kUsable, 2, 3, 4, 0}));

TEST_F(TransportTest, AspiWithoutAdaptersIsUsableAndFindsNothing) {
    Arrange(Aspi::kNoAdapters, Spti::kNot9x);
    EXPECT_EQ(SCSIInit(kPreferAspi), kTransportAspi);
    EXPECT_EQ(GetAspiStatus(), 3u);
    EXPECT_EQ(GetAspiAdapterCount(), 0u);
    DriveAddress address{9, 9, 9, 9};
    EXPECT_EQ(Transport().FindFirstDrive(&address), 0);
    EXPECT_EQ(address.adapter, 9u);
}

TEST_F(TransportTest, StatusStringIds) {
    const unsigned aspi[] = {118, 119, 120, 121, 127, 127};
    for (uint32_t c = 0; c < 6; ++c) EXPECT_EQ(AspiStatusStringId(c), aspi[c]) << c;
    const unsigned spti[] = {122, 123, 124, 125, 126, 127};
    for (uint32_t c = 0; c < 6; ++c) EXPECT_EQ(SptiStatusStringId(c), spti[c]) << c;
    EXPECT_EQ(SptiStatusStringId(0xFFFFFFFFu), 127u);
}

TEST_F(TransportTest, ResetForgetsTheLoadedManager) {
    Arrange(Aspi::kOk, Spti::kUsable);
    SCSIInit(kPreferAspi);
    ResetTransportState();
    EXPECT_EQ(GetTransportMode(), kTransportAspi);
    EXPECT_EQ(GetAspiStatus(), 0u);
    EXPECT_EQ(GetAspiAdapterCount(), 0u);
    EXPECT_TRUE(GetAspiLibraryPath().empty());
}

// ---- ScsiExecute ----------------------------------------------------------------

struct RetryCase {
    const char* name;
    int32_t senseKey;
    size_t attempts;
    uint64_t waitedMs;
};

class RetryTest : public TransportTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(RetryTest, BoundedBySenseKey) {
    const RetryCase& c = GetParam();
    ScriptedTransport fake;
    fake.fallback = Fail(c.senseKey);
    ScsiRequest request;
    request.cdbLength = 6;
    EXPECT_EQ(ScsiExecute(&request), 0);
    EXPECT_EQ(fake.sent.size(), c.attempts);
    EXPECT_EQ(clock_.Elapsed(), c.waitedMs);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.senseKey, c.senseKey);
}

INSTANTIATE_TEST_SUITE_P(Keys, RetryTest,
                         ::testing::Values(RetryCase{"NotReady", 2, 3, 1000},
                                           RetryCase{"UnitAttention", 6, 3, 0},
                                           RetryCase{"IllegalRequest", 5, 1, 0},
                                           RetryCase{"MediumError", 3, 1, 0},
                                           RetryCase{"NoSense", -1, 1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransportTest, RetryStartsFromTheRequestAsTheCallerFilledIt) {
    ScriptedTransport fake;
    fake.Queue(Fail(6));
    fake.Queue(Ok({0xAB}));
    uint8_t answer[4] = {};
    ScsiRequest request;
    request.cdbLength = 10;
    request.cdb[0] = 0x25;
    request.data = answer;
    request.dataLength = sizeof(answer);
    request.senseLength = 16;
    EXPECT_NE(ScsiExecute(&request), 0);
    ASSERT_EQ(fake.sent.size(), 2u);
    // The failed attempt wrote its status fields; the second must again start
    // with the caller's values and the full buffer size.
    EXPECT_EQ(fake.sent[1].dataLength, 4u);
    EXPECT_EQ(fake.sent[1].senseLength, 16u);
    EXPECT_EQ(fake.sent[1].statusBefore[4], -1);
    EXPECT_EQ(fake.sent[1].cdb, fake.sent[0].cdb);
    EXPECT_EQ(answer[0], 0xAB);
}

TEST_F(TransportTest, NotReadyThenReadyWaitsOnce) {
    ScriptedTransport fake;
    fake.Queue(Fail(2));
    fake.Queue(Ok());
    ScsiRequest request;
    EXPECT_NE(ScsiExecute(&request), 0);
    EXPECT_EQ(fake.sent.size(), 2u);
    EXPECT_EQ(clock_.Elapsed(), 500u);
}

TEST_F(TransportTest, LastErrorSurvivesALaterSuccess) {
    ScriptedTransport fake;
    testing_support::Reply failure = Fail(5, 2);
    failure.osError = 1117;
    fake.Queue(failure);
    fake.Queue(Ok());
    ScsiRequest first;
    EXPECT_EQ(ScsiExecute(&first), 0);
    ScsiRequest second;
    EXPECT_NE(ScsiExecute(&second), 0);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.osError, 1117);
    EXPECT_EQ(last.aspiStatus, -1);
    EXPECT_EQ(last.adapterStatus, -1);
    EXPECT_EQ(last.targetStatus, 2);
    EXPECT_EQ(last.senseKey, 5);
}

TEST_F(TransportTest, NullRequestFails) { EXPECT_EQ(ScsiExecute(nullptr), 0); }

TEST_F(TransportTest, InstallTransportReturnsThePreviousSet) {
    const ScsiTransport* before = &Transport();
    {
        ScriptedTransport fake;
        EXPECT_NE(&Transport(), before);
        EXPECT_EQ(GetTransportMode(), kTransportSpti);
    }
    EXPECT_EQ(&Transport(), before);
    EXPECT_EQ(GetTransportMode(), kTransportAspi);
}

}  // namespace
}  // namespace tarvik
