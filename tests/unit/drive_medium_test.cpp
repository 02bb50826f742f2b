// Medium and capability detection on simulated drives.
#include <gtest/gtest.h>

#include <string>

#include "drive/medium.h"
#include "drive/speed_control.h"
#include "drive/tray.h"
#include "drive_sim_fixture.h"
#include "sim_test_util.h"

namespace tarvik::test {
namespace {

class DriveMedium : public DriveSim {};

TEST_F(DriveMedium, OpenDoorOnSensingDriveIsCdWithoutMediumAndStartsTheOpenClock) {
    Add(DvdWriter());
    Start();
    Settle(5000);
    ASSERT_TRUE(Sim(0).OpenTray());
    CdromDrive d = Record(0);
    d.CurrentFamily = MediumFamily::DVD;  // whatever was in before

    EXPECT_EQ(CheckDriveMode(&d), 1);  // learns that it senses media
    EXPECT_EQ(d.CanSenseMedium, 1u);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::CD);
    EXPECT_EQ(d.MediumPresent, 0u);
    EXPECT_EQ(d.MediumClass, kMediumNone);
    EXPECT_EQ(IsTrayOpen(&d), 1);
    const uint32_t opened = d.TrayOpenTick;
    EXPECT_NE(opened, 0u);
    EXPECT_EQ(CountOp(sim::kOpGetConfiguration), 0u);  // the door code settles it

    Settle(3000);
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.TrayOpenTick, opened);  // the first sighting counts

    Sim(0).CloseTray();
    Settle();
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.TrayOpenTick, 0u);
    EXPECT_EQ(d.MediumPresent, 1u);
    EXPECT_EQ(IsTrayOpen(&d), 0);
}

TEST_F(DriveMedium, DvdInDriveWithoutMediumCodesIsFoundByProfile) {
    sim::Profile p = DvdWriter("NO CODES", DvdOfBook(0));
    p.mediumCodes = sim::MediumCodes::None;
    p.readCaps = 0x03;  // the page does not admit to DVD either
    Add(p);
    Start();
    CdromDrive d = Record(0);

    EXPECT_EQ(CheckDriveMode(&d), 1);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::DVD);
    EXPECT_EQ(d.IsDVD, 1u);
    EXPECT_EQ(d.CanSenseMedium, 0u);
    EXPECT_EQ(d.Profile, 0x10);
    EXPECT_EQ(d.MediumPresent, 1u);
    EXPECT_EQ(d.CurrentSpeed, kDvd16x.front());
    EXPECT_EQ(d.SpeedListDVD.MaxSpeed, kDvd16x.front());

    EXPECT_EQ(CheckDriveMode(&d), 0);  // nothing new the second time
}

TEST_F(DriveMedium, DriveThatSensesNothingIsTakenAsCdAtOnce) {
    sim::Profile p = DvdWriter("SENSES NOTHING");
    p.mediumCodes = sim::MediumCodes::None;
    p.getConfiguration = false;
    p.medium = sim::Medium{};  // empty: TEST UNIT READY says not ready
    Add(p);
    Start();
    CdromDrive d = Record(0);
    const uint64_t before = Clock().Elapsed();

    (void)CheckDriveMode(&d);
    EXPECT_LT(Clock().Elapsed() - before, 500u);  // not a single wait
    EXPECT_EQ(d.CurrentFamily, MediumFamily::CD);
    EXPECT_EQ(d.Profile, -1);
    EXPECT_EQ(d.MediumPresent, 0u);
    EXPECT_EQ(CountOp(sim::kOpTestUnitReady), 1u);

    // The tray state then comes from the program's own record.
    d.TrayClosed = 0;
    (void)CheckDriveMode(&d);
    EXPECT_EQ(IsTrayOpen(&d), 1);
    EXPECT_NE(d.TrayOpenTick, 0u);
    Sim(0).InsertMedium(PressedCd());
    Settle();
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.MediumPresent, 1u);
    EXPECT_EQ(d.TrayOpenTick, 0u);
}

TEST_F(DriveMedium, SpinningUpDiscIsWaitedForThenFound) {
    sim::Profile p = DvdWriter("SPINS UP");
    p.Speeds(sim::Family::Cd).spinUpMs = 3000;
    p.medium = sim::Medium{};
    Add(p);
    Start();
    Settle();
    CdromDrive d = Record(0);
    d.CanSenseMedium = 1;  // known from an earlier check
    Sim(0).InsertMedium(CdOf(sim::CdType::Recordable));
    const uint64_t before = Clock().Elapsed();

    (void)CheckDriveMode(&d);
    const uint64_t waited = Clock().Elapsed() - before;
    EXPECT_GE(waited, 3000u);
    EXPECT_LT(waited, 4500u);
    EXPECT_GE(CountOp(sim::kOpGetConfiguration), 5u);  // one profile query per poll
    EXPECT_EQ(d.MediumPresent, 1u);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::CD);
    DetectMediumClass(&d);
    EXPECT_EQ(d.MediumClass, kMediumRecordable);
}

TEST_F(DriveMedium, DiscThatNeverBecomesReadyEndsTheWaitAfterTwentyNinePolls) {
    sim::Profile p = DvdWriter("CD ONLY");
    p.Speeds(sim::Family::Dvd).present = false;  // a DVD stays "incompatible medium"
    p.readCaps = 0x03;
    p.medium = DvdOfBook(0);
    Add(p);
    Start();
    CdromDrive d = Record(0);
    d.CanSenseMedium = 1;
    const uint64_t before = Clock().Elapsed();

    (void)CheckDriveMode(&d);
    EXPECT_GE(Clock().Elapsed() - before, 29u * 500u);
    EXPECT_LT(Clock().Elapsed() - before, 30u * 500u + 2000u);
    EXPECT_EQ(CountOp(sim::kOpGetConfiguration), 30u);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::CD);
    EXPECT_EQ(d.MediumPresent, 0u);  // TEST UNIT READY still says not ready
}

// A drive unplugged while its state is checked answers nothing at all: the
// medium waits are for a disc spinning up and must not freeze the program.
TEST_F(DriveMedium, DriveThatIsGoneEndsTheWaitAtOnce) {
    Add(DvdWriter("GONE", DvdOfBook(0)));
    Start();
    Settle();
    CdromDrive d = Record(0);
    d.CanSenseMedium = 1;
    Sim(0).Vanish();
    const uint64_t before = Clock().Elapsed();

    (void)CheckDriveMode(&d);
    EXPECT_LT(Clock().Elapsed() - before, 500u);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::CD);
    EXPECT_EQ(d.MediumPresent, 0u);
}

struct ClassCase {
    const char* name;
    sim::Medium medium;
    int32_t expected;
};

TEST_F(DriveMedium, MediumClassByFamily) {
    const ClassCase cases[] = {
        {"CD-ROM", PressedCd(), kMediumPressed},
        {"CD-R", CdOf(sim::CdType::Recordable), kMediumRecordable},
        {"CD-RW", CdOf(sim::CdType::Rewritable), kMediumRewritable},
        {"DVD-ROM", DvdOfBook(0), kMediumPressed},
        {"DVD-RAM", DvdOfBook(1), kMediumRewritable},
        {"DVD-R", DvdOfBook(2), kMediumRecordable},
        {"DVD-RW", DvdOfBook(3), kMediumRewritable},
        {"DVD+RW", DvdOfBook(9), kMediumRewritable},
        {"DVD+R", DvdOfBook(10), kMediumRecordable},
        {"DVD+R DL", DvdOfBook(14), kMediumUnknown},
        {"BD-ROM", BdOf("BDO"), kMediumPressed},
        {"BD-R", BdOf("BDR"), kMediumRecordable},
        {"BD-RE", BdOf("BDW"), kMediumRewritable},
        {"no disc", sim::Medium{}, kMediumNone},
    };
    for (const ClassCase& c : cases) Add(BdCombo(c.medium));
    Start();
    Settle();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        CdromDrive d = Record(i);
        (void)CheckDriveMode(&d);
        DetectMediumClass(&d);
        EXPECT_EQ(d.MediumClass, cases[i].expected);
    }
}

TEST_F(DriveMedium, FailedDvdStructureReadGivesUnknownClass) {
    sim::Profile p = DvdWriter("NO STRUCTURE", DvdOfBook(10));
    p.faults.push_back({sim::kOpReadDiscStructure, 0, 0, sim::FaultKind::Sense, {5, 0x24, 0}});
    Add(p);
    Start();
    Settle();
    CdromDrive d = Record(0);
    (void)CheckDriveMode(&d);
    DetectMediumClass(&d);
    EXPECT_EQ(d.MediumClass, kMediumUnknown);
}

TEST_F(DriveMedium, AudioIsAskedOnlyForCdsThatCanCarryIt) {
    sim::Medium audio = PressedCd();
    audio.content = sim::CdContent::Audio;
    Add(DvdWriter("AUDIO", audio));
    Add(DvdWriter("DATA"));
    Start();
    Settle();
    Sim(0).SetAudioStatus(0x11);
    Sim(1).SetAudioStatus(0x11);

    CdromDrive playing = Record(0);
    (void)CheckDriveMode(&playing);
    EXPECT_EQ(playing.AudioStatus, 0x11u);

    CdromDrive data = Record(1);
    (void)CheckDriveMode(&data);
    EXPECT_EQ(data.AudioStatus, 0u);
    EXPECT_EQ(CountOp(sim::kOpReadSubChannel), 1u);

    // While audio plays the disc is not examined (it would interrupt it).
    ClearTrace();
    playing.SpeedListCD.MaxLevel = kMediumPressed;
    CheckDriveState(&playing);
    EXPECT_EQ(CountOp(sim::kOpReadDiscStructure), 0u);
}

TEST_F(DriveMedium, CurrentSpeedComesFromGetPerformanceWhenTheListUsesStreaming) {
    Add(DvdWriter("STREAMING", DvdOfBook(0)));
    Start();
    Settle();
    CdromDrive d = Record(0);
    d.SpeedListDVD.CanGetSpeed = 1;
    d.SpeedListDVD.MethodDetected = kMethodSetStreaming;
    ASSERT_NE(SetDVDSpeed(d.Address, 8310, 0), 0);
    ClearTrace();

    const int changed = CheckDriveMode(&d);
    EXPECT_EQ(CountOp(sim::kOpGetPerformance), 1u);
    EXPECT_EQ(d.CurrentSpeed, 8310u);
    EXPECT_EQ(d.SpeedListDVD.CanGetStreaming, 1u);
    EXPECT_EQ(changed, 1);

    // With SET CD SPEED in use and the page reporting a speed, no GET PERFORMANCE.
    d.SpeedListDVD.MethodDetected = kMethodSetCdSpeed;
    ClearTrace();
    (void)CheckDriveMode(&d);
    EXPECT_EQ(CountOp(sim::kOpGetPerformance), 0u);
}

TEST_F(DriveMedium, ReadCapsComesFromTheFeatureList) {
    Add(BdCombo());
    sim::Profile cdOnly = DvdWriter("CD ONLY");
    cdOnly.Speeds(sim::Family::Dvd).present = false;
    Add(cdOnly);
    Start();
    CdromDrive bd = Record(0);
    CheckReadCaps(&bd);
    EXPECT_EQ(bd.IsDVD, 1u);
    EXPECT_EQ(bd.IsBD, 1u);

    CdromDrive cd = Record(1);
    cd.IsDVD = 1;  // a stale stored value is replaced
    CheckReadCaps(&cd);
    EXPECT_EQ(cd.IsDVD, 0u);
    EXPECT_EQ(cd.IsBD, 0u);
    EXPECT_EQ(cd.Busy, 0u);
}

// An emulated ATAPI drive answers 70h, "door closed, no disc", in the mode
// header whatever is in it; its profile and TEST UNIT READY tell the truth.
TEST_F(DriveMedium, DriveStuckAtNoDiscCodeIsBelievedByProfileAndReadiness) {
    sim::Profile p;
    std::string error;
    ASSERT_TRUE(sim::LoadProfileFile(simtest::ProfilePath("emulated-atapi-stuck-medium-code.json"),
                                     p, error))
        << error;
    Add(p);
    Start();
    CdromDrive d = Record(0);

    // A CD in it: the code says none, the profile says CD-ROM, the drive is ready.
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.MediumPresent, 1u);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::CD);
    EXPECT_EQ(d.Profile, 0x08);
    EXPECT_EQ(d.MediumClass, kMediumUnknown);
    EXPECT_EQ(IsTrayOpen(&d), 0);
    EXPECT_EQ(Ops(), (std::vector<uint8_t>{sim::kOpModeSense10, sim::kOpGetConfiguration,
                                           sim::kOpTestUnitReady, sim::kOpReadSubChannel}));

    // The tray opened: TEST UNIT READY says so, and the open clock runs.
    Settle(1000);
    ASSERT_TRUE(Sim(0).OpenTray());
    ClearTrace();
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.MediumPresent, 0u);
    EXPECT_EQ(IsTrayOpen(&d), 1);
    EXPECT_NE(d.TrayOpenTick, 0u);
    EXPECT_EQ(CountOp(sim::kOpTestUnitReady), 1u);

    // Closed on a DVD: found by its profile once the change is reported.
    Sim(0).InsertMedium(DvdOfBook(0));
    Sim(0).CloseTray();
    Settle();
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.MediumPresent, 1u);
    EXPECT_EQ(d.CurrentFamily, MediumFamily::DVD);
    EXPECT_EQ(IsTrayOpen(&d), 0);
    EXPECT_EQ(d.TrayOpenTick, 0u);

    // Taken out with the tray closed: no disc, tray closed.
    Sim(0).RemoveMedium();
    (void)CheckDriveMode(&d);
    EXPECT_EQ(d.MediumPresent, 0u);
    EXPECT_EQ(IsTrayOpen(&d), 0);
}

// Drives whose answers agree keep their commands and results: a 70h from a
// drive that has shown other codes is believed at once; one that has only
// ever said 70h is asked its profile, which agrees, and nothing more.
TEST_F(DriveMedium, NoDiscCodeOfAConsistentDriveIsBelieved) {
    Add(DvdWriter());
    Add(DvdWriter("EMPTY", sim::Medium{}));
    Start();
    Settle();
    CdromDrive shown = Record(0);
    (void)CheckDriveMode(&shown);
    ASSERT_EQ(shown.MediumPresent, 1u);
    Sim(0).RemoveMedium();
    ClearTrace();
    (void)CheckDriveMode(&shown);
    EXPECT_EQ(shown.MediumPresent, 0u);
    EXPECT_EQ(shown.Profile, -1);
    EXPECT_EQ(CountOp(sim::kOpGetConfiguration) + CountOp(sim::kOpTestUnitReady), 0u);

    CdromDrive empty = Record(1);
    ClearTrace();
    (void)CheckDriveMode(&empty);
    EXPECT_EQ(empty.MediumPresent, 0u);
    EXPECT_EQ(empty.Profile, -1);
    EXPECT_EQ(IsTrayOpen(&empty), 0);
    EXPECT_EQ(CountOp(sim::kOpGetConfiguration), 1u);
    EXPECT_EQ(CountOp(sim::kOpTestUnitReady), 0u);
}

}  // namespace
}  // namespace tarvik::test
