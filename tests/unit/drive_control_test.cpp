// Speed setting, restore, drive state and tray control on simulated drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "drive/all_drives.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "drive/tray.h"
#include "drive_sim_fixture.h"
#include "platform/system.h"
#include "scsi/mmc.h"

namespace tarvik::test {
namespace {

class DriveControl : public DriveSim {
protected:
    // A record whose CD list was detected with a pressed disc.
    CdromDrive Known(size_t index) {
        Settle();
        CdromDrive d = Record(index);
        for (uint32_t s : kCd48x) InsertSpeed(&d.SpeedListCD, s, s, nullptr, nullptr);
        d.SpeedListCD.MaxLevel = kMediumPressed;
        d.SpeedListCD.MethodDetected = kMethodSetCdSpeed;
        d.SpeedListCD.CanSetSpeed = d.SpeedListCD.CanGetSpeed = 1;
        d.SpeedListCD.MaxSpeed = kCd48x.front();
        d.CanSenseMedium = d.CanClose = 1;
        return d;
    }
    // Puts the whole list into CdromList (the all-drive loops walk it).
    void UseAsList(std::vector<CdromDrive> drives) {
        CdromList.drives = std::move(drives);
        for (CdromDrive& d : CdromList.drives) d.CurrentFamily = MediumFamily::CD;
    }
    uint32_t InForce(size_t i) { return Sim(i).SpeedInForce(sim::Family::Cd); }
};

struct RestoreCase {
    const char* name;
    uint32_t selected, current;
    uint32_t onlyWithDisk, mediumPresent;
    uint32_t whenAudio, audio;
    uint32_t ignoreSpeed;
    bool sends;
};

TEST_F(DriveControl, RestoreSpeedHonoursEachCondition) {
    const RestoreCase cases[] = {
        {"nothing selected", 0, 8448, 0, 1, 0, 0, 0, false},
        {"faster than selected", 1408, 8448, 0, 1, 0, 0, 0, true},
        {"already at selected", 1408, 1408, 0, 1, 0, 0, 0, false},
        {"already below selected", 2816, 1408, 0, 1, 0, 0, 0, false},
        {"below, but ignore speed", 2816, 1408, 0, 1, 0, 0, 1, true},
        {"speed unknown", 1408, 0, 0, 1, 0, 0, 0, true},
        {"only with disk, none", 1408, 8448, 1, 0, 0, 0, 0, false},
        {"only with disk, present", 1408, 8448, 1, 1, 0, 0, 0, true},
        {"audio playing", 1408, 8448, 0, 1, 0, 0x11, 0, false},
        {"audio paused", 1408, 8448, 0, 1, 0, 0x12, 0, false},
        {"audio playing, when audio", 1408, 8448, 0, 1, 1, 0x11, 0, true},
        {"audio completed", 1408, 8448, 0, 1, 0, 0x13, 0, true},
    };
    Add(DvdWriter());
    Start();
    for (const RestoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        CdromDrive d = Known(0);
        d.ForceRead = 0;
        d.SpeedListCD.Selected = c.selected;
        d.CurrentSpeed = c.current;
        d.OnlyWithDisk = c.onlyWithDisk;
        d.MediumPresent = c.mediumPresent;
        d.WhenAudio = c.whenAudio;
        d.AudioStatus = c.audio;
        d.IgnoreSpeed = c.ignoreSpeed;
        ClearTrace();
        RestoreSpeed(&d);
        EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), c.sends ? 1u : 0u);
        if (c.sends) {
            EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed).front(), c.selected);
        }
    }
}

TEST_F(DriveControl, SelectedSpeedSendsItsStoredCommandOrItself) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Known(0);
    d.SpeedListCD.Entries[5].Command = 1500;  // 1408 is obtained by asking 1500
    d.SpeedListCD.Selected = 1408;
    d.CurrentSpeed = 8448;
    RestoreSpeed(&d);
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed).front(), 1500u);

    d.SpeedListCD.Selected = 3000;  // no longer listed
    d.CurrentSpeed = 8448;
    ClearTrace();
    RestoreSpeed(&d);
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed).front(), 3000u);
}

TEST_F(DriveControl, SetSpeedWithForceReadReadsTwoBlocksThenChecksState) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Known(0);
    ClearTrace();
    SetSpeed(&d, 2816);
    const std::vector<uint8_t> ops = Ops();
    ASSERT_GE(ops.size(), 5u);
    EXPECT_EQ(ops[0], sim::kOpSetCdSpeed);
    EXPECT_EQ(ops[1], sim::kOpReadCapacity);
    EXPECT_EQ(ops[2], sim::kOpRead10);
    EXPECT_EQ(ops[3], sim::kOpRead10);
    EXPECT_EQ(ops[4], sim::kOpModeSense10);  // the state check
    EXPECT_EQ(d.CurrentSpeed, 2816u);
    EXPECT_EQ(d.SpeedListCD.Selected, 0u);  // setting a speed is not choosing it

    d.ForceRead = 0;
    ClearTrace();
    SetSpeed(&d, 1408);
    EXPECT_EQ(CountOp(sim::kOpRead10), 0u);
    EXPECT_EQ(d.CurrentSpeed, 1408u);
}

TEST_F(DriveControl, SetSpeedSendsTheWriteSpeedAlong) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Known(0);
    CheckDriveState(&d);
    ASSERT_NE(d.Caps.currentWriteSpeed, 0u);
    ClearTrace();
    SetSpeed(&d, 2816);
    const sim::TraceEntry& set = bus_.Trace().front();
    EXPECT_EQ(uint32_t{set.cdb[4]} << 8 | set.cdb[5], d.Caps.currentWriteSpeed);
}

TEST_F(DriveControl, FasterAndSlowerStepAlongTheListAndStopAtItsEnds) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Known(0);
    d.ForceRead = 0;

    SetSpeed(&d, 4224);
    SpeedFaster(&d);
    EXPECT_EQ(InForce(0), 5632u);
    SpeedFaster(&d);
    SpeedFaster(&d);
    EXPECT_EQ(InForce(0), 8448u);
    ClearTrace();
    SpeedFaster(&d);  // at the top
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);

    SpeedSlower(&d);
    EXPECT_EQ(InForce(0), 7040u);
    SetSpeed(&d, 704);
    ClearTrace();
    SpeedSlower(&d);  // at the bottom
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);

    // A drive running above the list's top is slowed to the top entry.
    d.CurrentSpeed = 9000;
    SpeedSlower(&d);
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed).front(), 8448u);
}

TEST_F(DriveControl, AutoLockEjectUnlocksEjectsAndLocksAgain) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Known(0);
    d.AutoLock = 1;
    ASSERT_NE(PreventCDROMRemoval(d.Address, 1), 0);
    ClearTrace();
    EjectCDROM(&d, 1);
    EXPECT_EQ(Ops(), (std::vector<uint8_t>{sim::kOpPreventAllow, sim::kOpStartStopUnit,
                                           sim::kOpPreventAllow}));
    EXPECT_EQ(bus_.Trace()[0].cdb[4], 0);  // allow
    EXPECT_EQ(bus_.Trace()[1].cdb[4], 2);  // eject
    EXPECT_EQ(bus_.Trace()[2].cdb[4], 1);  // prevent
    EXPECT_TRUE(Sim(0).TrayOpen());
    EXPECT_TRUE(Sim(0).Locked());
    EXPECT_EQ(d.TrayClosed, 0u);

    ClearTrace();
    EjectCDROM(&d, 0);
    EXPECT_EQ(Ops(), (std::vector<uint8_t>{sim::kOpStartStopUnit, sim::kOpPreventAllow}));
    EXPECT_EQ(bus_.Trace()[0].cdb[4], 3);  // load
    EXPECT_FALSE(Sim(0).TrayOpen());
    EXPECT_EQ(d.TrayClosed, 1u);

    d.AutoLock = 0;
    ClearTrace();
    EjectCDROM(&d, 1);
    EXPECT_EQ(Ops(), (std::vector<uint8_t>{sim::kOpPreventAllow, sim::kOpStartStopUnit}));
    EXPECT_FALSE(Sim(0).Locked());
    EXPECT_FALSE(d.TrayCommandFailed);
}

// A drive that refuses the eject (a lock the program could not lift) keeps
// its tray: the program's own record stays, and the refusal is kept for the
// front end to tell.
TEST_F(DriveControl, RefusedEjectLeavesTheTrayRecordAndKeepsTheReason) {
    sim::Profile p = DvdWriter();
    sim::FaultRule stuck;
    stuck.opcode = sim::kOpStartStopUnit;
    stuck.times = 1;
    stuck.sense = {5, 0x53, 0x02};
    p.faults.push_back(stuck);
    Add(p);
    Start();
    CdromDrive d = Known(0);
    EjectCDROM(&d, 1);
    EXPECT_FALSE(Sim(0).TrayOpen());
    EXPECT_EQ(d.TrayClosed, 1u);
    ASSERT_TRUE(d.TrayCommandFailed);
    // The command asks for no sense: the refusal is all there is.
    EXPECT_EQ(d.TrayCommandError.targetStatus, 2);
    EXPECT_EQ(d.TrayCommandError.senseKey, -1);
    // The next one goes through and clears it.
    EjectCDROM(&d, 1);
    EXPECT_TRUE(Sim(0).TrayOpen());
    EXPECT_EQ(d.TrayClosed, 0u);
    EXPECT_FALSE(d.TrayCommandFailed);
}

TEST_F(DriveControl, TrayStateFromDriveAnswersOrOwnRecord) {
    Add(DvdWriter());
    sim::Profile mute = DvdWriter("NO CODES");
    mute.mediumCodes = sim::MediumCodes::None;
    mute.medium = sim::Medium{};
    Add(mute);
    sim::Profile caddy = DvdWriter("CADDY");
    caddy.loading = sim::Loading::Caddy;
    Add(caddy);
    Start();
    CdromDrive sensing = Known(0);
    EjectCDROM(&sensing, 1);
    EXPECT_EQ(CheckTrayClosed(&sensing), 0);
    EXPECT_EQ(IsTrayOpen(&sensing), 1);
    Sim(0).CloseTray();  // pushed in by hand: the drive's answer wins
    EXPECT_EQ(CheckTrayClosed(&sensing), 1);

    CdromDrive blind = Record(1);
    CheckDriveState(&blind);
    blind.CanClose = 1;
    EXPECT_EQ(CheckTrayClosed(&blind), 1);
    EjectCDROM(&blind, 1);
    EXPECT_EQ(CheckTrayClosed(&blind), 0);  // only our own record says so
    EXPECT_EQ(IsTrayOpen(&blind), 1);

    CdromDrive noTray = Record(2);
    EXPECT_EQ(CheckTrayClosed(&noTray), 1);  // nothing the program could close
    EXPECT_EQ(noTray.CanClose, 0u);
}

TEST_F(DriveControl, DisksPresentMaskLeavesPasswordLockedDrivesAlone) {
    Add(DvdWriter("FREE"));                   // D:
    Add(DvdWriter("LOCKED"));                 // E:
    sim::Profile empty = DvdWriter("EMPTY");  // F:
    empty.medium = sim::Medium{};
    Add(empty);
    Start();
    Settle();
    CdromDrive locked = Record(1);
    locked.AutoLock = 1;
    UseAsList({Record(0), locked, Record(2)});

    EXPECT_EQ(DisksPresentMask(0), (1u << 3) | (1u << 4) | 0x80000000u);
    std::snprintf(GlobalSettings.Data, sizeof GlobalSettings.Data, "%s", "$1$salt$hash");
    EXPECT_EQ(DisksPresentMask(0), (1u << 3) | 0x80000000u);
    EXPECT_EQ(EjectAllDisks(), (1u << 3) | 0x80000000u);
    EXPECT_TRUE(Sim(0).TrayOpen());
    EXPECT_FALSE(Sim(1).TrayOpen());
    EXPECT_FALSE(Sim(2).TrayOpen());

    CdromList.drives[0].Ignore = 1;  // ignored drives count for nothing
    EXPECT_EQ(DisksPresentMask(0), 0u);
}

TEST_F(DriveControl, CloseAllTraysAndIsAllClosed) {
    Add(DvdWriter("ONE"));
    Add(DvdWriter("TWO"));
    Start();
    Settle();
    UseAsList({Record(0), Record(1)});
    CheckAllDrives();
    EXPECT_EQ(IsAllClosed(), 1);
    ASSERT_TRUE(Sim(1).OpenTray());
    EXPECT_EQ(IsAllClosed(), 0);
    CloseAllTrays();
    EXPECT_FALSE(Sim(0).TrayOpen());
    EXPECT_FALSE(Sim(1).TrayOpen());
    EXPECT_EQ(IsAllClosed(), 1);

    ASSERT_TRUE(Sim(1).OpenTray());
    CdromList.drives[1].Ignore = 1;
    EXPECT_EQ(IsAllClosed(), 1);
    CloseAllTrays();
    EXPECT_TRUE(Sim(1).TrayOpen());
}

TEST_F(DriveControl, EventRestoreFollowsEventMaskAndLetters) {
    Add(DvdWriter("D"));
    Add(DvdWriter("E"));
    Start();
    CdromDrive d = Known(0);
    CdromDrive e = Known(1);
    d.SpeedListCD.Selected = e.SpeedListCD.Selected = 1408;
    d.ForceRead = e.ForceRead = 0;
    e.AutoLock = 1;
    e.EventMask = kEventStart | kEventResume;  // not on disk change
    UseAsList({d, e});

    ClearTrace();
    RestoreSpeedOnEvent(kEventDiskChange, 1u << ('E' - 'A'));
    EXPECT_EQ(InForce(0), kCd48x.front());  // D: not in the unit mask
    EXPECT_EQ(InForce(1), kCd48x.front());  // E: not on this event
    EXPECT_TRUE(Sim(1).Locked());           // but its lock is put back

    RestoreSpeedOnEvent(kEventDiskChange, 1u << ('D' - 'A'));
    EXPECT_EQ(InForce(0), 1408u);
    RestoreSpeedOnEvent(kEventResume, 0);
    EXPECT_EQ(InForce(1), 1408u);
}

TEST_F(DriveControl, PressedDiscAfterRewritableIsDetectedAgainOnceOnly) {
    sim::Profile p = DvdWriter("REDETECTS");
    p.medium = CdOf(sim::CdType::Rewritable);
    p.Speeds(sim::Family::Cd).read = {4224, 2816, 1408};  // what CD-RW allows...
    Add(p);
    Start();
    BuildDriveList();
    ASSERT_EQ(CdromList.count(), 1u);
    CdromDrive* d = &CdromList.drives[0];
    EXPECT_EQ(d->SpeedListCD.MaxLevel, static_cast<uint32_t>(kMediumRewritable));
    EXPECT_EQ(d->SpeedListCD.Count, 3u);

    // A pressed disc: detected again, and the better list is kept.
    Sim(0).OpenTray();
    Sim(0).InsertMedium(PressedCd());
    Sim(0).CloseTray();
    Settle();
    ClearTrace();
    CheckDriveState(d);
    EXPECT_GT(CountOp(sim::kOpSetCdSpeed), 2u);
    EXPECT_EQ(d->SpeedListCD.MaxLevel, static_cast<uint32_t>(kMediumPressed));
    EXPECT_EQ(d->SpeedListCD.Count, 3u);  // this simulated drive offers the same steps

    // Saved: a new list build reads the pressed-disc level back.
    BuildDriveList();
    d = &CdromList.drives[0];
    EXPECT_EQ(d->SpeedListCD.MaxLevel, static_cast<uint32_t>(kMediumPressed));

    // Nothing beats a pressed disc: later discs never start a detection.
    for (sim::CdType type : {sim::CdType::Recordable, sim::CdType::Pressed}) {
        Sim(0).OpenTray();
        Sim(0).InsertMedium(CdOf(type));
        Sim(0).CloseTray();
        Settle();
        ClearTrace();
        CheckDriveState(d);
        EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);
    }
}

TEST_F(DriveControl, RecordableAfterRewritableIsDetectedAgain) {
    Add(DvdWriter("RW THEN R", CdOf(sim::CdType::Rewritable)));
    Start();
    CdromDrive d = Known(0);
    d.SpeedListCD.MaxLevel = kMediumRewritable;
    Sim(0).OpenTray();
    Sim(0).InsertMedium(CdOf(sim::CdType::Recordable));
    Sim(0).CloseTray();
    Settle();
    CheckDriveState(&d);
    EXPECT_EQ(d.SpeedListCD.MaxLevel, static_cast<uint32_t>(kMediumRecordable));
    EXPECT_TRUE(RegistryHas(std::string(d.Name) + "\\SpeedListCD"));
}

class FakeSystem final : public System {
public:
    uint32_t LogicalDrives() override { return (1u << 2) | (1u << 3) | (1u << 4); }  // C: D: E:
    unsigned DriveType(const std::string& root) override {
        return root == "C:\\" ? 3u /* fixed */ : kDriveCdrom;
    }
    uint32_t FileAttributes(const std::string& path) override {
        asked.push_back(path);
        return files.count(path) ? 0x20u : 0xFFFFFFFFu;
    }
    bool VolumeInformation(const std::string& root, std::string*, uint32_t*) override {
        volumes.push_back(root);
        return true;
    }
    std::set<std::string> files;
    std::vector<std::string> asked;
    std::vector<std::string> volumes;
};

TEST_F(DriveControl, AutorunInfIsLookedForOnDataDiscsOnly) {
    sim::Medium audio = PressedCd();
    audio.content = sim::CdContent::Audio;
    Add(DvdWriter("DATA"));
    Add(DvdWriter("AUDIO", audio));
    Start();
    FakeSystem sys;
    sys.files = {"D:\\AUTORUN.INF", "E:\\AUTORUN.INF"};
    SetSystem(&sys);
    CdromDrive data = Known(0);
    CdromDrive music = Known(1);
    CheckDriveState(&data);
    CheckDriveState(&music);
    EXPECT_EQ(HasAutorunInf(&data), 1);
    EXPECT_EQ(HasAutorunInf(&music), 0);
    EXPECT_EQ(sys.asked, std::vector<std::string>{"D:\\AUTORUN.INF"});

    data.Address.letter = 0;  // an ASPI drive without a known letter
    EXPECT_EQ(HasAutorunInf(&data), 0);
    SetSystem(nullptr);
}

TEST_F(DriveControl, RefreshDiskContentOnlyWithTheOptionAndOnlyCdLetters) {
    FakeSystem sys;
    SetSystem(&sys);
    RefreshDiskContent();
    EXPECT_TRUE(sys.volumes.empty());
    GlobalSettings.ForceRefresh = 1;
    RefreshDiskContent();
    EXPECT_EQ(sys.volumes, (std::vector<std::string>{"D:\\", "E:\\"}));
    SetSystem(nullptr);
}

}  // namespace
}  // namespace tarvik::test
