// Does the drive obey the speed? The verdict rules on simulated drives that
// obey, ignore, refuse or tell nothing; what SetSpeed and the detections learn
// on the way; where the verdict is kept; and the guard on Measure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drive/drive_store.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "drive/speed_obey.h"
#include "drive_sim_fixture.h"
#include "scsi/mmc.h"

namespace tarvik::test {
namespace {

// Drives whose answer to a speed command is the point of the test; each
// holds a CD big enough for the one-second measurements.
sim::Profile Obeying() {
    sim::Profile p = DvdWriter("OBEYS");
    p.medium.blocks = 330000;
    return p;
}
sim::Profile IgnoringFixedReport() {
    sim::Profile p = Obeying();
    p.product = "IGNORES";
    sim::SpeedModel& cd = p.Speeds(sim::Family::Cd);
    cd.setCdSpeed = cd.setStreaming = sim::Obey::Ignore;
    cd.reportCurrent = sim::Report::Fixed;
    cd.fixedCurrent = 5632;
    cd.performance = sim::Perf::Max;
    return p;
}
sim::Profile Refusing() {
    sim::Profile p = Obeying();
    p.product = "REFUSES";
    sim::SpeedModel& cd = p.Speeds(sim::Family::Cd);
    cd.setCdSpeed = cd.setStreaming = sim::Obey::Unknown;
    return p;
}
// Takes the commands and reports no speed at all.
sim::Profile Silent() {
    sim::Profile p = Obeying();
    p.product = "SILENT";
    sim::SpeedModel& cd = p.Speeds(sim::Family::Cd);
    cd.reportCurrent = sim::Report::Zero;
    cd.reportMax = sim::Report::Zero;
    cd.performance = sim::Perf::Unsupported;
    return p;
}

class DriveObey : public DriveSim {
protected:
    CdromDrive Ready(sim::Profile p) {
        Add(std::move(p));
        Start();
        Settle();
        CdromDrive d = Record(0);
        d.ForceRead = 0;
        // As detected with this disc: no state check starts a detection.
        for (SpeedList* l : {&d.SpeedListCD, &d.SpeedListDVD, &d.SpeedListBD})
            l->MaxLevel = kMediumPressed;
        return d;
    }
};

struct VerifyCase {
    const char* name;
    sim::Profile (*profile)();
    bool withRead;
    uint32_t verdict;
    uint32_t report;
};

const VerifyCase kVerifyCases[] = {
    {"Obeys", Obeying, false, kVerdictObeys, kReportFollows},
    {"ObeysRead", Obeying, true, kVerdictObeys | kVerdictByRead, kReportFollows},
    {"Ignores", IgnoringFixedReport, false, kVerdictIgnores, kReportFixed},
    {"IgnoresRead", IgnoringFixedReport, true, kVerdictIgnores | kVerdictByRead, kReportFixed},
    {"Refuses", Refusing, false, kVerdictRefuses, kReportUnknown},
    {"RefusesRead", Refusing, true, kVerdictRefuses, kReportUnknown},
    {"Silent", Silent, false, kVerdictUnknown, kReportUnknown},
    {"SilentRead", Silent, true, kVerdictObeys | kVerdictByRead, kReportUnknown},
};

class DriveObeyVerify : public DriveObey, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(DriveObeyVerify, GivesTheVerdictOfTheDrive) {
    const VerifyCase& c = GetParam();
    CdromDrive d = Ready(c.profile());
    ClearTrace();
    VerifyResult r;
    ASSERT_EQ(VerifySpeedControl(&d, c.withRead, &r), 1);
    EXPECT_EQ(r.verdict, c.verdict);
    EXPECT_EQ(r.report, c.report);
    EXPECT_EQ(d.VerdictCD, c.verdict);
    // Reads only when asked for.
    EXPECT_EQ(CountOp(sim::kOpRead10) > 0, c.withRead && c.verdict != kVerdictRefuses);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DriveObeyVerify, ::testing::ValuesIn(kVerifyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveObey, ATransportFailureIsNoRefusal) {
    sim::Profile p = Obeying();
    p.faults = {{0xBB, 0, 0, sim::FaultKind::TransportError},
                {0xB6, 0, 0, sim::FaultKind::TransportError}};
    CdromDrive d = Ready(p);
    VerifyResult r;
    ASSERT_EQ(VerifySpeedControl(&d, false, &r), 1);
    EXPECT_FALSE(r.cdSpeed.refused);
    EXPECT_EQ(r.verdict, kVerdictUnknown);
}

TEST_F(DriveObey, VerifyPutsTheSelectedSpeedBack) {
    CdromDrive d = Ready(Obeying());
    d.SpeedListCD.Selected = kCd48x[4];
    VerifyResult r;
    ASSERT_EQ(VerifySpeedControl(&d, true, &r), 1);
    EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Cd), kCd48x[4]);
    EXPECT_EQ(d.CurrentSpeed, kCd48x[4]);
}

TEST_F(DriveObey, SetSpeedLearnsWithoutCommandsOfItsOwn) {
    CdromDrive d = Ready(Obeying());
    CheckDriveState(&d);
    ClearTrace();
    SetSpeed(&d, kCd48x[3]);
    EXPECT_EQ(d.VerdictCD, kVerdictObeys);
    EXPECT_EQ(d.ReportCD, kReportFollows);
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 1u);
    EXPECT_EQ(CountOp(sim::kOpSetStreaming), 0u);
    EXPECT_EQ(CountOp(sim::kOpRead10), 0u);
}

TEST_F(DriveObey, SetSpeedCallsItIgnoringOnlyAfterFarMoreAndFarLess) {
    CdromDrive d = Ready(IgnoringFixedReport());
    CheckDriveState(&d);
    SetSpeed(&d, 1408);  // far less: could be a drive at its slowest
    EXPECT_EQ(d.VerdictCD, kVerdictUnknown);
    SetSpeed(&d, 5632 + 176);  // one step more: could be rounded back
    EXPECT_EQ(d.VerdictCD, kVerdictUnknown);
    SetSpeed(&d, 0xFFFF);  // far more, and it stayed again
    EXPECT_EQ(d.VerdictCD, kVerdictIgnores);
    EXPECT_EQ(d.ReportCD, kReportFixed);
}

TEST_F(DriveObey, AnswersDoNotOverruleATimedRead) {
    // As a drive that echoes the request in its report while the disc keeps
    // its own speed: the timed read found it out.
    CdromDrive d = Ready(Obeying());
    d.VerdictCD = kVerdictIgnores | kVerdictByRead;
    CheckDriveState(&d);
    SetSpeed(&d, kCd48x[4]);
    SetSpeed(&d, 0xFFFF);
    EXPECT_EQ(d.VerdictCD, kVerdictIgnores | kVerdictByRead);
    EXPECT_EQ(d.ReportCD, kReportFollows);
    ASSERT_EQ(VerifySpeedControl(&d, false, nullptr), 1);
    EXPECT_EQ(d.VerdictCD, kVerdictIgnores | kVerdictByRead);
    ASSERT_EQ(VerifySpeedControl(&d, true, nullptr), 1);
    EXPECT_EQ(d.VerdictCD, kVerdictObeys | kVerdictByRead) << "a new read decides";
}

struct DetectCase {
    const char* name;
    sim::Profile (*profile)();
    uint32_t verdict;
};
const DetectCase kDetectCases[] = {{"Obeys", Obeying, kVerdictObeys},
                                   {"Ignores", IgnoringFixedReport, kVerdictIgnores},
                                   {"Refuses", Refusing, kVerdictRefuses}};

class DriveObeyDetect : public DriveObey, public ::testing::WithParamInterface<DetectCase> {};

TEST_P(DriveObeyDetect, FastScanGivesTheVerdict) {
    CdromDrive d = Ready(GetParam().profile());
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    EXPECT_EQ(d.VerdictCD, GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DriveObeyDetect, ::testing::ValuesIn(kDetectCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveObey, VerdictIsKeptWithTheInstanceAndForgottenWhenTheModelIsExaminedAnew) {
    Add(IgnoringFixedReport());
    Start();
    Settle();
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 1u);
    EXPECT_EQ(CdromList.drives[0].VerdictCD, kVerdictIgnores) << "from the first detection";
    CdromList.drives[0].VerdictCD = kVerdictObeys | kVerdictByRead;
    CdromList.drives[0].VerdictDVD = kVerdictRefuses;
    SaveDriveInstance(&CdromList.drives[0]);
    const std::string model = CdromList.drives[0].Name;

    BuildDriveList();
    EXPECT_EQ(CdromList.drives[0].VerdictCD, kVerdictObeys | kVerdictByRead);
    EXPECT_EQ(CdromList.drives[0].VerdictDVD, kVerdictRefuses);

    RegKey key = RegKey::Open(kHkeyCurrentUser, (std::string(kRootKeyPath) + "\\" + model).c_str(),
                              kKeyAllAccess);
    ASSERT_TRUE(key);
    RegKey list = RegKey::Open(key.handle(), "SpeedListCD", kKeyAllAccess, nullptr, key.registry());
    ASSERT_EQ(list.DeleteValue("MaxLevel"), kRegOk);
    BuildDriveList();  // the model key is incomplete: examined again
    EXPECT_EQ(CdromList.drives[0].VerdictCD, kVerdictIgnores);
    EXPECT_EQ(CdromList.drives[0].VerdictDVD, kVerdictUnknown);
    BuildDriveList();
    EXPECT_EQ(CdromList.drives[0].VerdictDVD, kVerdictUnknown) << "the forgetting was saved";
}

// ---- the Measure guard -----------------------------------------------------

struct MeasureCase {
    const char* name;
    std::vector<uint32_t> read;
    sim::Obey obey;
    unsigned jitter;
    MeasureJudgement judgement;
    bool replaced;
};

const MeasureCase kMeasureCases[] = {
    {"Obeys", kCd48x, sim::Obey::Obey, 0, MeasureJudgement::Follows, true},
    {"RoundsToTwoSteps", {7040, 4224}, sim::Obey::Obey, 0, MeasureJudgement::Follows, true},
    {"NoisyButFollows", kCd48x, sim::Obey::Obey, 15, MeasureJudgement::Follows, true},
    {"Ignores", kCd48x, sim::Obey::Ignore, 0, MeasureJudgement::Flat, false},
    {"IgnoresAndWobbles", kCd48x, sim::Obey::Ignore, 8, MeasureJudgement::Flat, false},
    {"Noise", kCd48x, sim::Obey::Ignore, 50, MeasureJudgement::Noise, false},
};

class DriveObeyMeasure : public DriveObey, public ::testing::WithParamInterface<MeasureCase> {};

TEST_P(DriveObeyMeasure, KeepsThePreviousListWhenRatesDoNotFollow) {
    const MeasureCase& c = GetParam();
    sim::Profile p = Obeying();
    sim::SpeedModel& cd = p.Speeds(sim::Family::Cd);
    cd.read = c.read;
    cd.setCdSpeed = c.obey;
    cd.setStreaming = sim::Obey::Unknown;
    cd.readJitter = c.jitter;
    CdromDrive d = Ready(p);
    d.SpeedListCD.Count = 2;
    d.SpeedListCD.Entries[0] = {3000, 3000};
    d.SpeedListCD.Entries[1] = {1000, 1000};
    d.SpeedListCD.MethodDetected = kMethodSetCdSpeed;
    ScanCDROMSpeedRead(&d, nullptr, nullptr);
    EXPECT_EQ(d.LastMeasure, c.judgement);
    const Pairs previous = {{3000, 3000}, {1000, 1000}};
    if (c.replaced) {
        EXPECT_NE(EntriesOf(d.SpeedListCD), previous);
        EXPECT_GE(d.SpeedListCD.Count, c.read.size());
    } else {
        EXPECT_EQ(EntriesOf(d.SpeedListCD), previous);
        EXPECT_EQ(d.SpeedListCD.MethodDetected, kMethodSetCdSpeed);
    }
}

INSTANTIATE_TEST_SUITE_P(Drives, DriveObeyMeasure, ::testing::ValuesIn(kMeasureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// QEMU's small test discs: every timed read fails, and a failed Measure must
// not wipe the list the user had.
TEST_F(DriveObey, AMeasureThatTimedNoReadKeepsThePreviousList) {
    sim::Profile p = Obeying();
    p.medium.blocks = 20000;  // too short for the reads a measurement times
    CdromDrive d = Ready(p);
    d.SpeedListCD.Count = 1;
    d.SpeedListCD.Entries[0] = {3000, 3000};
    ScanCDROMSpeedRead(&d, nullptr, nullptr);
    EXPECT_EQ(d.LastMeasure, MeasureJudgement::Unmeasured);
    EXPECT_EQ(EntriesOf(d.SpeedListCD), (Pairs{{3000, 3000}}));
}

// A disc taken out or a drive pulled out mid-Measure: the Measure ends at the
// first read that says so, not after every step's retries, and the list the
// user had stays.
class DriveObeyCut
    : public DriveObey,
      public ::testing::WithParamInterface<std::pair<sim::FaultKind, MeasureJudgement>> {};

TEST_P(DriveObeyCut, AMeasureCutShortEndsAtOnceAndKeepsThePreviousList) {
    sim::Profile p = Obeying();
    sim::FaultRule gone;
    gone.opcode = sim::kOpRead10;
    gone.after = 400;  // a few steps into the warm-up
    gone.times = 0;
    gone.kind = GetParam().first;
    gone.sense = {2, 0x3A, 0x02};
    p.faults.push_back(gone);
    CdromDrive d = Ready(p);
    d.SpeedListCD.Count = 1;
    d.SpeedListCD.Entries[0] = {3000, 3000};
    ClearTrace();
    const uint64_t before = Clock().Elapsed();
    ScanCDROMSpeedRead(&d, nullptr, nullptr);
    EXPECT_EQ(d.LastMeasure, GetParam().second);
    EXPECT_EQ(EntriesOf(d.SpeedListCD), (Pairs{{3000, 3000}}));
    // 65 steps of a second each when run to the end.
    EXPECT_LT(Clock().Elapsed() - before, 15u * 1000u);
    EXPECT_LE(CountOp(sim::kOpRead10), 405u);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, DriveObeyCut,
    ::testing::Values(std::pair{sim::FaultKind::Sense, MeasureJudgement::MediumGone},
                      std::pair{sim::FaultKind::Vanish, MeasureJudgement::DriveGone}),
    [](const auto& info) {
        return std::string(info.param.first == sim::FaultKind::Sense ? "DiscTakenOut"
                                                                     : "DrivePulledOut");
    });

TEST(JudgeRates, TooFewRatesTellNothing) {
    const std::vector<std::pair<uint32_t, uint32_t>> few = {{3, 300}, {2, 200}, {1, 0}, {0, 0}};
    EXPECT_EQ(JudgeRates(few), MeasureJudgement::None);
}

}  // namespace
}  // namespace tarvik::test
