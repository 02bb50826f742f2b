// The drive list on simulated drives: names, instances, the first-seen
// examination, stored values and the busy protocol.
#include <gtest/gtest.h>

#include <string>

#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/medium.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "drive/tray.h"
#include "drive_sim_fixture.h"

namespace tarvik::test {
namespace {

class DriveList : public DriveSim {};

TEST_F(DriveList, SameModelGetsInstanceNumbersAndSharesTheModelKey) {
    Add(DvdWriter("TWIN DRIVE"));
    Add(DvdWriter("OTHER DRIVE"));
    Add(DvdWriter("TWIN DRIVE"));
    Add(DvdWriter("TWIN DRIVE"));
    Start();
    BuildDriveList();

    ASSERT_EQ(CdromList.count(), 4u);
    EXPECT_STREQ(CdromList.drives[0].Name, "TARVIKSM TWIN DRIVE       1.00");
    EXPECT_EQ(CdromList.drives[0].DupIndex, 0);
    EXPECT_EQ(CdromList.drives[1].DupIndex, 0);
    EXPECT_EQ(CdromList.drives[2].DupIndex, 1);
    EXPECT_EQ(CdromList.drives[3].DupIndex, 2);

    // One model key with an instance key per drive of that model.
    const std::string twin = CdromList.drives[0].Name;
    EXPECT_EQ(SubkeyCount(twin), 4u);  // the three lists and the examined drive's instance
    EXPECT_TRUE(RegistryHas(twin + "\\SpeedListCD"));
    // Instances are only written on change: the examined one learnt whether it obeys.
    EXPECT_TRUE(RegistryHas(twin + "\\00"));
    EXPECT_FALSE(RegistryHas(twin + "\\01"));
    SaveDriveInstance(&CdromList.drives[2]);
    EXPECT_TRUE(RegistryHas(twin + "\\01"));
}

TEST_F(DriveList, SeventeenthDriveIsPassedOver) {
    for (int i = 0; i < 17; ++i) Add(DvdWriter());
    Start();
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), kMaxDrives);
    EXPECT_EQ(CdromList.drives[15].DupIndex, 15);
    EXPECT_EQ(CdromList.drives[15].Address.letter, static_cast<uint32_t>('D' + 15));
    EXPECT_EQ(DriveAt(16), nullptr);
}

TEST_F(DriveList, UnknownDriveOnlyWithShowUnknown) {
    sim::Profile mute = DvdWriter();
    mute.inquiryFails = true;
    Add(mute);
    Add(DvdWriter("KNOWN"));
    Start();

    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 1u);
    EXPECT_EQ(CdromList.drives[0].Address.letter, static_cast<uint32_t>('E'));

    GlobalSettings.ShowUnknown = 1;
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 2u);
    EXPECT_STREQ(CdromList.drives[0].Name, "<unknown>");
    EXPECT_EQ(CdromList.drives[0].DefaultShortName, std::u16string(u"unknown"));
}

TEST_F(DriveList, DefaultShortNameIsTheFirstRunOfLetters) {
    sim::Profile p = DvdWriter("ABCDEFGHIJKLMN");  // fourteen letters after a vendor of digits
    p.vendor = "12345678";
    Add(p);
    Start();
    CdromDrive d = Record(0);
    ASSERT_NE(ReadDriveName(&d), 0);
    EXPECT_EQ(std::u16string(d.DefaultShortName), u"ABCDEFGHIJ");
    EXPECT_EQ(d.Busy, 0u);
}

TEST_F(DriveList, NewModelIsExaminedAndSavedKnownModelIsNot) {
    Add(DvdWriter());
    Start();
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 1u);
    const CdromDrive& first = CdromList.drives[0];
    EXPECT_GT(CountOp(sim::kOpSetCdSpeed), 5u);  // the automatic scan ran
    EXPECT_EQ(first.IsDVD, 1u);
    EXPECT_EQ(SpeedsOf(first.SpeedListCD), kCd48x);
    EXPECT_TRUE(RegistryHas(std::string(first.Name) + "\\SpeedListBD"));

    ClearTrace();
    BuildDriveList();
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);
    EXPECT_EQ(CountOp(sim::kOpGetConfiguration), 0u);
    EXPECT_EQ(SpeedsOf(CdromList.drives[0].SpeedListCD), kCd48x);  // from the registry

    // One missing value makes the model key incomplete: examined and saved again.
    {
        RegKey dvd = RegKey::Create(
            kHkeyCurrentUser,
            (std::string(kRootKeyPath) + "\\" + CdromList.drives[0].Name + "\\SpeedListDVD")
                .c_str(),
            kKeyAllAccess);
        ASSERT_EQ(dvd.DeleteValue("MaxLevel"), kRegOk);
    }
    ClearTrace();
    BuildDriveList();
    EXPECT_GT(CountOp(sim::kOpSetCdSpeed), 5u);
    EXPECT_EQ(CountOp(sim::kOpGetConfiguration) > 0, true);
    ClearTrace();
    BuildDriveList();
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);
}

TEST_F(DriveList, ShortMenuDefaultFollowsCdSpeedCountUnlessStored) {
    sim::Profile many = DvdWriter("MANY SPEEDS");
    many.Speeds(sim::Family::Cd).read = {9856, 8448, 7040, 5632, 4224, 3520, 2816, 1408, 704};
    Add(many);
    Add(DvdWriter("FEW SPEEDS"));
    Start();
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 2u);
    EXPECT_EQ(CdromList.drives[0].SpeedListCD.Count, 9u);
    EXPECT_EQ(CdromList.drives[0].ShortMenu, 1u);
    EXPECT_EQ(CdromList.drives[1].ShortMenu, 0u);
    EXPECT_EQ(CdromList.drives[0].EventMask, 11u);
    EXPECT_EQ(CdromList.drives[0].ForceRead, 1u);

    // The first start learnt whether the drives obey and stored that alone:
    // the options no one chose stay unwritten.
    const std::string few = std::string(CdromList.drives[1].Name) + "\\00";
    const auto stored = [&](const char* value) {
        RegKey key = RegKey::Open(kHkeyCurrentUser,
                                  (std::string(kRootKeyPath) + "\\" + few).c_str(), kKeyRead);
        return key && key.Query(value, nullptr, nullptr, nullptr) == kRegOk;
    };
    EXPECT_TRUE(stored("SpeedVerdictCD"));
    for (const char* option : {"ShortMenu", "EventMask", "ForceRead", "Ignore", "Timer"})
        EXPECT_FALSE(stored(option)) << option << " was written unasked";
    // A later detection with a better disc found 9 CD speeds: the next start
    // derives the default from them.
    CdromList.drives[1].SpeedListCD = CdromList.drives[0].SpeedListCD;
    SaveDriveModel(&CdromList.drives[1]);
    BuildDriveList();
    EXPECT_EQ(CdromList.drives[1].ShortMenu, 1u);
    EXPECT_FALSE(stored("ShortMenu"));

    CdromList.drives[0].ShortMenu = 0;
    CdromList.drives[0].ForceRead = 0;
    SaveDriveInstance(&CdromList.drives[0]);
    BuildDriveList();
    EXPECT_EQ(CdromList.drives[0].ShortMenu, 0u);
    EXPECT_EQ(CdromList.drives[0].ForceRead, 0u);
}

TEST_F(DriveList, LiveStateStartsFreshAndNamesItsOwnFamily) {
    // Each record starts on the CD list unless its disc says otherwise.
    Add(DvdWriter("DVD IN IT", DvdOfBook(0)));
    for (int i = 0; i < 6; ++i) Add(DvdWriter("CD IN IT"));
    Start();
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 7u);
    EXPECT_EQ(CdromList.drives[0].CurrentFamily, MediumFamily::DVD);
    for (uint32_t i = 1; i < CdromList.count(); ++i) {
        const CdromDrive& d = CdromList.drives[i];
        EXPECT_EQ(d.CurrentFamily, MediumFamily::CD) << i;
        EXPECT_EQ(d.TrayClosed, 1u);
        EXPECT_EQ(d.Busy, 0u);
    }
    // A state check works on the record as built.
    CheckDriveState(&CdromList.drives[0]);
    EXPECT_EQ(CdromList.drives[0].CurrentSpeed, kDvd16x.front());
}

TEST_F(DriveList, ACopiedRecordIsAWholeDriveOfItsOwn) {
    // The drive options dialog edits a copy and puts it back only on OK.
    Add(DvdWriter("DVD IN IT", DvdOfBook(0)));
    Start();
    BuildDriveList();
    CdromDrive edited = CdromList.drives[0];
    edited.CurrentList().Selected = kDvd16x.back();
    EXPECT_EQ(CdromList.drives[0].SpeedListDVD.Selected, 0u) << "the original is untouched";
    EXPECT_EQ(edited.SpeedListDVD.Selected, kDvd16x.back());

    CdromList.drives[0] = edited;
    RestoreSpeed(&CdromList.drives[0]);
    EXPECT_EQ(CdromList.drives[0].CurrentSpeed, kDvd16x.back());
}

TEST_F(DriveList, ListIsNotRebuiltUnderADriveInUse) {
    Add(DvdWriter());
    Start();
    ASSERT_EQ(BuildDriveList(), 1);
    CdromDrive* inDialog = &CdromList.drives[0];
    inDialog->Busy = 1;  // e.g. its options dialog runs a message loop
    inDialog->Timer = 42;
    EXPECT_EQ(BuildDriveList(), 0);
    EXPECT_EQ(&CdromList.drives[0], inDialog);
    EXPECT_EQ(inDialog->Timer, 42u);
    inDialog->Busy = 0;
    EXPECT_EQ(BuildDriveList(), 1);
    EXPECT_EQ(CdromList.drives[0].Timer, 0u);
}

TEST_F(DriveList, NoTransportDrivesLeavesAnEmptyList) {
    Start();
    BuildDriveList();
    EXPECT_EQ(CdromList.count(), 0u);
    EXPECT_TRUE(CdromList.drives.empty());
    FreeDriveList();
    EXPECT_EQ(DriveAt(0), nullptr);
}

int g_started = 0;
int g_ended = 0;
void CountBusy(int started) { (started ? g_started : g_ended)++; }

TEST_F(DriveList, BusyDriveIsLeftAloneAndObserverSeesEachOperation) {
    Add(DvdWriter());
    Start();
    Settle();
    CdromDrive d = Record(0);
    g_started = g_ended = 0;
    SetDriveBusyNotify(CountBusy);

    d.Busy = 1;
    ClearTrace();
    CheckDriveState(&d);
    SetSpeed(&d, 1408);
    EjectCDROM(&d, 1);
    ScanCDROMSpeedAuto(&d, nullptr, nullptr);
    CheckReadCaps(&d);
    EXPECT_EQ(ReadDriveName(&d), 0);
    EXPECT_TRUE(Ops().empty());
    EXPECT_EQ(g_started + g_ended, 0);
    EXPECT_FALSE(Sim(0).TrayOpen());

    d.Busy = 0;
    d.SpeedListCD.MaxLevel = kMediumPressed;  // no re-detection in the state check
    SetSpeed(&d, 1408);                       // its own bracket, then the state check's
    EXPECT_EQ(g_started, 2);
    EXPECT_EQ(g_ended, 2);
    EXPECT_EQ(d.Busy, 0u);
}

}  // namespace
}  // namespace tarvik::test
