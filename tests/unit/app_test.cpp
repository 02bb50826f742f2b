// The program's commands, timers and events on simulated drives, with a host
// that records what the window would have done.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/speed_obey.h"
#include "drive/tray.h"
#include "drive_sim_fixture.h"
#include "platform/system.h"
#include "scsi/mmc.h"
#include "settings/shell.h"

namespace tarvik::test {
namespace {

class FakeHost : public AppHost {
public:
    std::set<unsigned> timers;
    std::map<int, unsigned> hotKeys;  // id -> virtual key
    std::vector<std::pair<uint16_t, uint32_t>> posted;
    std::vector<std::u16string> blockReasons;
    bool blockReasonSet = false;
    int destroyed = 0;
    int passwordAnswer = 1;
    std::function<bool(CdromDrive*)> driveOptions = [](CdromDrive*) { return false; };

    std::function<void()> duringStart;
    void InitTransport(uint32_t) override {  // the simulator's drives stay
        if (duringStart) duringStart();
    }
    bool StartTimer(unsigned id, uint32_t) override { return timers.insert(id), true; }
    void StopTimer(unsigned id) override { timers.erase(id); }
    bool RegisterHotKey(int id, unsigned, unsigned key) override {
        return hotKeys.emplace(id, key).second;
    }
    void UnregisterHotKey(int id) override { hotKeys.erase(id); }
    void PostCommand(uint16_t id, uint32_t lParam) override { posted.emplace_back(id, lParam); }
    bool TrayAdd() override { return true; }
    void TrayDelete() override {}
    void TrayUpdate() override {}
    void TrayUseDpi(int dpi, bool tell) override { trayDpis.emplace_back(dpi, tell); }
    std::vector<std::pair<int, bool>> trayDpis;  // (dpi, told the shell)
    void ShowRightMenu() override {}
    void ShowSpeedMenu() override {}
    int MessageBox(unsigned, unsigned) override { return 1; }
    int ConfirmPassword(const char*) override { return passwordAnswer; }
    bool RunOptionsDialog() override { return false; }
    bool RunDriveOptionsDialog(CdromDrive* drive) override { return driveOptions(drive); }
    void ShowDriveInfo(uint32_t) override {}
    void ShowAbout() override {}
    std::function<void()> duringReminder = [] {};
    int ShowDiskReminder(unsigned) override { return duringReminder(), 0; }
    int ShowTrayReminder(unsigned, bool) override { return 0; }
    bool blockReasonWorks = true;  // false: a system before Vista
    bool SetBlockReason(const std::u16string& text) override {
        blockReasons.push_back(text);
        return blockReasonSet = blockReasonWorks;
    }
    void ClearBlockReason() override { blockReasonSet = false; }
    void DestroyMainWindow() override { ++destroyed; }
    void EndModalLoops() override { ++loopsEnded; }
    int loopsEnded = 0;
};

class AppTest : public DriveSim {
protected:
    void StartApp() {
        Start();
        app_ = std::make_unique<App>(host_);
        app_->Start();
    }
    CdromDrive& D(uint32_t i) { return CdromList.drives[i]; }
    void Run(unsigned drive, unsigned action, unsigned k = 0) {
        app_->Command(DriveCommand{k, drive, action}.Encode(), 0);
    }
    // Runs the main timer for `ms` of virtual time, as the window would.
    void Tick(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += kTimerPeriodMs) {
            Clock().Advance(kTimerPeriodMs);
            app_->Command(CMD_TIMER_TICK, 0);
        }
    }
    uint32_t StoredSelected(const CdromDrive& d) {
        CdromDrive fresh = d;
        fresh.SpeedListCD.Selected = 0;
        (void)LoadDriveModel(&fresh);
        return fresh.SpeedListCD.Selected;
    }

    FakeHost host_;
    std::unique_ptr<App> app_;
};

TEST_F(AppTest, ChoosingASpeedSendsItsCommandAndStoresTheSelection) {
    Add(DvdWriter());
    StartApp();
    ClearTrace();
    Run(0, DRIVE_CMD_SET_SPEED, 3);
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed), std::vector<uint32_t>{kCd48x[3]});
    EXPECT_EQ(D(0).SpeedListCD.Selected, kCd48x[3]);
    EXPECT_EQ(StoredSelected(D(0)), kCd48x[3]) << "restored after the next start";

    // The hot-key speed commands set a speed without touching the selection.
    for (unsigned action : {DRIVE_CMD_MAX_SPEED, DRIVE_CMD_MIN_SPEED, DRIVE_CMD_SLOWER})
        Run(0, action);
    EXPECT_EQ(D(0).SpeedListCD.Selected, kCd48x[3]);
    ClearTrace();
    Run(0, DRIVE_CMD_SET_SPEED, 99);  // no such entry
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);
}

// The speed hot keys act on the disc in the drive now, whatever the last check
// saw: the user changes discs without the program being asked.
TEST_F(AppTest, SpeedHotKeysUseTheListOfTheDiscPutInSinceTheLastCheck) {
    Add(DvdWriter());
    StartApp();
    const auto swapTo = [this](const sim::Medium& disc) {
        Sim(0).OpenTray();
        Sim(0).RemoveMedium();
        Sim(0).InsertMedium(disc);
        Sim(0).CloseTray();
        Settle();
    };
    const auto seen = [&](const sim::Medium& disc) {
        swapTo(disc);
        app_->Command(CMD_LEFT_CLICK, 0);  // the menu's check sees it
    };
    const auto pressAfterSwapTo = [&](const sim::Medium& disc, unsigned action) {
        swapTo(disc);
        ClearTrace();
        app_->HotKey(HotKeyId(action == DRIVE_CMD_MIN_SPEED   ? 6
                              : action == DRIVE_CMD_MAX_SPEED ? 2
                                                              : 4,
                              0));
        ASSERT_EQ(host_.posted.size(), 1u);
        app_->Command(host_.posted[0].first, 0);
        host_.posted.clear();
    };
    // A DVD once, so both lists are known; a speed chosen for each.
    seen(DvdOfBook(0));
    Run(0, DRIVE_CMD_SET_SPEED, 2);
    seen(PressedCd());
    Run(0, DRIVE_CMD_SET_SPEED, 3);
    ASSERT_EQ(D(0).SpeedListDVD.Selected, kDvd16x[2]);
    ASSERT_EQ(D(0).SpeedListCD.Selected, kCd48x[3]);

    // The CD comes out, a DVD goes in, and the next thing the program hears is the hot key.
    const struct {
        unsigned action;
        uint32_t dvd, cd;  // what it must send
    } keys[] = {
        {DRIVE_CMD_MIN_SPEED, kDvd16x.back(), kCd48x.back()},
        {DRIVE_CMD_MAX_SPEED, kDvd16x[0], kCd48x[0]},
        {DRIVE_CMD_RESTORE, kDvd16x[2], kCd48x[3]},
    };
    for (const auto& key : keys) {
        SCOPED_TRACE(key.action);
        seen(PressedCd());
        pressAfterSwapTo(DvdOfBook(0), key.action);
        EXPECT_EQ(SpeedRequests(sim::kOpSetStreaming), std::vector<uint32_t>{key.dvd});
        EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);
        EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Dvd), key.dvd);

        // And the other way round: the CD's speed, by the CD's command.
        pressAfterSwapTo(PressedCd(), key.action);
        EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed), std::vector<uint32_t>{key.cd});
        EXPECT_EQ(CountOp(sim::kOpSetStreaming), 0u);
    }
    EXPECT_EQ(D(0).SpeedListCD.Selected, kCd48x[3]) << "the hot keys choose nothing";
    EXPECT_EQ(D(0).SpeedListDVD.Selected, kDvd16x[2]);
}

TEST_F(AppTest, HotKeysPostTheirActionsAndAreRegisteredForTheListAsItIs) {
    Add(DvdWriter());
    Add(DvdWriter());
    Start();
    CdromDrive probe = Record(1);
    probe.DupIndex = 1;
    probe.HotKeys[2] = 0x200 | 'M';  // Ctrl+M: max speed of drive 1
    SaveDriveInstance(&probe);
    StartApp();
    ASSERT_EQ(host_.hotKeys.size(), 1u);
    EXPECT_EQ(host_.hotKeys.begin()->first, HotKeyId(2, 1));

    app_->HotKey(HotKeyId(2, 1));
    app_->HotKey(HotKeyId(7, 1));  // no slot 7
    ASSERT_EQ(host_.posted.size(), 1u);
    EXPECT_EQ(host_.posted[0].first, (DriveCommand{0, 1, DRIVE_CMD_MAX_SPEED}.Encode()));

    bus_.At(1).Vanish();  // the drive is gone at the next rebuild
    app_->Command(CMD_DETECT_DRIVES, 0);
    EXPECT_TRUE(host_.hotKeys.empty()) << "no key of the old list stays registered";
}

TEST_F(AppTest, CommandsForDrivesThatAreNotThereOnlyStopTheirPoll) {
    Add(DvdWriter());
    StartApp();
    host_.timers.insert(kTimerFirstPoll + 9);
    ClearTrace();
    Run(9, DRIVE_CMD_CLOSE_POLL);
    Run(9, DRIVE_CMD_EJECT);
    Run(0, 15);  // an action that means nothing
    app_->Command(0x7FFF, 0);
    EXPECT_EQ(host_.timers.count(kTimerFirstPoll + 9), 0u);
    EXPECT_TRUE(bus_.Trace().empty());
}

TEST_F(AppTest, CloseWithoutADiscPollsUntilTheDiscIsSeenOrFifteenSecondsPass) {
    Add(DvdWriter("DVDRW SIM24X", sim::Medium{}));
    StartApp();
    D(0).EventMask |= kEventTrayClose;
    D(0).SpeedListCD.Selected = kCd48x[4];
    Sim(0).OpenTray();
    Run(0, DRIVE_CMD_CLOSE);
    ASSERT_EQ(host_.timers.count(kTimerFirstPoll), 1u);

    for (int i = 0; i < 3; ++i) Run(0, DRIVE_CMD_CLOSE_POLL);
    EXPECT_EQ(host_.timers.count(kTimerFirstPoll), 1u);
    Sim(0).OpenTray();
    Sim(0).InsertMedium(PressedCd());
    Sim(0).CloseTray();
    Settle();
    Run(0, DRIVE_CMD_CLOSE_POLL);
    EXPECT_EQ(host_.timers.count(kTimerFirstPoll), 0u);
    EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Cd), kCd48x[4]);

    // No disc: the poll gives up after 30 ticks; a damaged countdown at once.
    Sim(0).OpenTray();
    Sim(0).RemoveMedium();
    Run(0, DRIVE_CMD_CLOSE);
    int polls = 0;
    while (host_.timers.count(kTimerFirstPoll) && polls < 100)
        Run(0, DRIVE_CMD_CLOSE_POLL), ++polls;
    EXPECT_EQ(polls, 30);
    host_.timers.insert(kTimerFirstPoll);
    D(0).RestoreCountdown = -5;
    Run(0, DRIVE_CMD_CLOSE_POLL);
    EXPECT_EQ(host_.timers.count(kTimerFirstPoll), 0u);
}

TEST_F(AppTest, PeriodicJobsRunWhenTheirPeriodHasPassed) {
    Add(DvdWriter());
    GlobalSettings.TimerEnable = 1;
    StartApp();
    D(0).Timer = 30;
    D(0).SpeedListCD.Selected = kCd48x[5];
    D(0).IgnoreSpeed = 1;  // refresh even when the drive already runs slower
    ClearTrace();
    Tick(120000);
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 4u) << "every 30 s";
    EXPECT_EQ(CountOp(sim::kOpRead10), 0u) << "the refresh never reads the disc";

    // A stored Timer that would overflow 32 bits waits, it does not fire each tick.
    D(0).Timer = 0x10000000;
    ClearTrace();
    Tick(60000);
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 0u);
}

TEST_F(AppTest, AutomaticCloseClosesEachOpeningOnceAfterItsTimeAndBlinksBefore) {
    Add(DvdWriter());
    GlobalSettings.TimerEnable = 1;
    StartApp();
    GlobalSettings.EnableAutoclose = 1;
    GlobalSettings.TimerAutoclose = 10000;
    Sim(0).OpenTray();
    Tick(5000);  // the 5-second check sees it open
    ASSERT_TRUE(Sim(0).TrayOpen());
    bool blinked = false;
    for (int i = 0; i < 30 && Sim(0).TrayOpen(); ++i) {
        Tick(500);
        blinked = blinked || app_->BlinkPhase;
    }
    EXPECT_FALSE(Sim(0).TrayOpen());
    EXPECT_TRUE(blinked);
    EXPECT_EQ(app_->BlinkPhase, 0);

    // A tray that cannot be pushed in gets one close, not one every tick.
    auto& profile = const_cast<sim::Profile&>(Sim(0).profile());
    profile.canClose = false;
    Sim(0).OpenTray();
    Tick(5000);
    ClearTrace();
    Tick(30000);
    EXPECT_EQ(CountOp(sim::kOpStartStopUnit), 1u);

    // An absurd setting, on a new opening, never closes at once.
    profile.canClose = true;
    Sim(0).CloseTray();
    Tick(5000);
    Sim(0).OpenTray();
    Tick(5000);
    GlobalSettings.TimerAutoclose = 0xFFFFFFFFu;
    ClearTrace();
    Tick(20000);
    EXPECT_EQ(CountOp(sim::kOpStartStopUnit), 0u);
    EXPECT_TRUE(Sim(0).TrayOpen());
}

TEST_F(AppTest, AutomaticCloseLeavesATrayTheDriveCannotPullIn) {
    sim::Profile slim = DvdWriter("DVDRW SLIM8X");
    slim.loading = sim::Loading::PopUp;
    slim.canClose = false;
    Add(slim);
    GlobalSettings.TimerEnable = 1;
    StartApp();
    ASSERT_EQ(D(0).CanClose, 0u);
    GlobalSettings.EnableAutoclose = 1;
    GlobalSettings.TimerAutoclose = 3000;
    D(0).EventMask |= kEventTrayClose;
    D(0).SpeedListCD.Selected = kCd48x[3];
    Sim(0).OpenTray();
    ClearTrace();
    Tick(20000);
    EXPECT_EQ(CountOp(sim::kOpStartStopUnit), 0u);
    EXPECT_EQ(IsTrayOpen(&D(0)), 1) << "still shown open";
    EXPECT_EQ(host_.timers.count(kTimerFirstPoll), 0u) << "no poll for a disc";
    EXPECT_EQ(app_->BlinkPhase, 0);
}

TEST_F(AppTest, DeviceNotificationsAreReadWithinTheirSizeAndPostTheRightCommand) {
    Add(DvdWriter());
    StartApp();
    uint8_t volume[20] = {20, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x08, 0, 0, 0, 1, 0};  // D:, media
    struct Case {
        const char* what;
        const uint8_t* block;
        size_t size;
        uintptr_t event;
        std::vector<uint16_t> posted;
    } cases[] = {
        {"media arrival", volume, 20, kDbtDeviceArrival, {CMD_MEDIA_ARRIVED}},
        {"media removal", volume, 20, kDbtDeviceRemoveComplete, {CMD_MEDIA_REMOVED}},
        {"null block", nullptr, 20, kDbtDeviceArrival, {}},
        {"block shorter than a volume", volume, 16, kDbtDeviceArrival, {}},
        {"header only", volume, 4, kDbtDeviceRemoveComplete, {}},
        {"other event", volume, 20, 0x0007, {}},
    };
    for (const Case& c : cases) {
        host_.posted.clear();
        app_->DeviceChange(c.event, DecodeDeviceBroadcast(c.block, c.size));
        std::vector<uint16_t> ids;
        for (const auto& p : host_.posted) ids.push_back(p.first);
        EXPECT_EQ(ids, c.posted) << c.what;
    }
    host_.posted.clear();
    app_->DeviceChange(kDbtDeviceArrival, DecodeDeviceBroadcast(volume, 20));
    EXPECT_EQ(host_.posted.at(0).second, 0x08u) << "the unit mask goes along";
}

TEST_F(AppTest, SessionEndEjectsUnprotectedDrivesAndACancelledEndDoesNothing) {
    Add(DvdWriter());
    Add(DvdWriter());
    StartApp();
    std::snprintf(GlobalSettings.Data, sizeof GlobalSettings.Data, "$1$salt$x");
    GlobalSettings.DNEject = 1;
    D(1).AutoLock = 1;  // under the eject password
    app_->QueryEndSession();
    EXPECT_TRUE(Sim(0).TrayOpen());
    EXPECT_FALSE(Sim(1).TrayOpen());
    app_->EndSession(false);
    EXPECT_FALSE(host_.blockReasonSet);

    // The reminder delay is clamped to what the dialog offers: no day-long wait.
    GlobalSettings.DNEject = 0;
    GlobalSettings.DNClose = 1;
    GlobalSettings.DNTimer = 100000;
    const uint64_t before = Clock().Elapsed();
    app_->QueryEndSession();
    app_->EndSession(true);
    EXPECT_LE(Clock().Elapsed() - before, 17000u);
    EXPECT_FALSE(Sim(0).TrayOpen()) << "closed at the end of the countdown";
    EXPECT_FALSE(host_.blockReasonSet);
}

TEST_F(AppTest, ACommandWhoseDialogOutlivesTheListIsDroppedAndExitWaitsForIt) {
    Add(DvdWriter());
    StartApp();
    CdromDrive stored = D(0);
    host_.driveOptions = [this](CdromDrive* d) {
        d->Timer = 77;
        app_->Exit();  // a second instance restarting us
        app_->Command(CMD_RESET_CONFIG, 0);
        return true;
    };
    Run(0, DRIVE_CMD_OPTIONS);
    EXPECT_EQ(host_.loopsEnded, 1) << "the dialog is asked to end, not left to the user";
    EXPECT_EQ(host_.destroyed, 1) << "after the command unwound, not inside the dialog";
    EXPECT_EQ(CdromList.count(), 0u);
    // The reset's empty settings stay empty: the dropped dialog wrote nothing back.
    EXPECT_FALSE(RegistryHas("")) << "settings stored after the reset";
    stored.Timer = 0;
    EXPECT_EQ(LoadDriveInstance(&stored), 0);
    EXPECT_NE(stored.Timer, 77u);
}

TEST_F(AppTest, ARestartDuringTheSessionEndReminderWaitsForTheSessionEndSteps) {
    Add(DvdWriter());
    StartApp();
    GlobalSettings.DNMessage = 1;
    host_.blockReasonWorks = false;
    host_.duringReminder = [this] {
        app_->Exit();
        EXPECT_EQ(host_.destroyed, 0) << "not while the reminder is open";
    };
    app_->QueryEndSession();
    EXPECT_EQ(host_.loopsEnded, 1);
    EXPECT_EQ(host_.destroyed, 1);
}

TEST_F(AppTest, ACloseDuringTheStartEndsTheProgramOnceTheWindowExists) {
    Add(DvdWriter());
    Start();
    app_ = std::make_unique<App>(host_);
    host_.duringStart = [this] { app_->Exit(); };
    app_->Start();
    EXPECT_EQ(host_.destroyed, 0) << "not inside the window's creation";
    ASSERT_EQ(host_.posted.size(), 1u);
    EXPECT_EQ(host_.posted[0].first, CMD_EXIT);
}

// While the icon is hidden, a new scale or a new shell changes nothing about
// it in the shell; a new shell has no icon to modify, the adding shows it.
TEST_F(AppTest, AHiddenIconHearsOfNoNewDpiOrShell) {
    Add(DvdWriter());
    StartApp();
    app_->IconHidden = 1;
    app_->DpiChanged(144);
    app_->TaskbarCreated(192);
    app_->Command(CMD_SHOW, 0);
    app_->DpiChanged(96);
    app_->TaskbarCreated(144);
    EXPECT_EQ(host_.trayDpis, (std::vector<std::pair<int, bool>>{
                                  {144, false}, {192, false}, {96, true}, {144, false}}));
}

// The start writes an old bare start entry again in quotes (the rules are the
// shell tests').
TEST_F(AppTest, TheStartQuotesTheProgramsOldBareStartEntry) {
    struct At : System {
        std::string ModulePath() override { return "C:\\Program Files\\tarvik.exe"; }
    } system;
    SetSystem(&system);
    struct Back {
        ~Back() { SetSystem(nullptr); }
    } back;
    (void)RegKey::Create(kHkeyCurrentUser, kRunKeyPath, kKeyAllAccess)
        .SetString("Tarvik", "C:\\Program Files\\tarvik.exe /hide");
    StartApp();
    EXPECT_EQ(IsAutoLoad("Tarvik", "/hide"), 1);
    char text[40] = {};
    uint32_t size = sizeof(text) - 1;
    (void)RegKey::Open(kHkeyCurrentUser, kRunKeyPath, kKeyRead)
        .Query("Tarvik", nullptr, text, &size);
    EXPECT_EQ(text[0], '"');
}

// Another program raises the speed of a drive whose report follows: within
// one check period the chosen speed is set again, once, logged; nothing more
// until the next change. Without the option, or on a drive that ignores the
// speed, nothing is sent.
TEST_F(AppTest, WinBackSetsTheChosenSpeedAgainOncePerChange) {
    GlobalSettings.TimerEnable = 1;
    SaveGlobalSettings();
    Add(DvdWriter());
    StartApp();
    D(0).WinBack = 1;
    D(0).ForceRead = 0;
    Run(0, DRIVE_CMD_SET_SPEED, 4);  // 2816: the report follows, so the option may act
    ASSERT_EQ(D(0).ReportCD, kReportFollows);
    ASSERT_EQ(D(0).CurrentSpeed, kCd48x[4]);

    const auto otherProgram = [this] {
        ASSERT_TRUE(SetCDROMSpeed(D(0).Address, 0xFFFF, 0));  // a raw SET CD SPEED to the top
    };
    otherProgram();
    ClearTrace();
    Tick(5000);  // one check period
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed), std::vector<uint32_t>{kCd48x[4]});
    EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Cd), kCd48x[4]);
    ClearTrace();
    Tick(20000);
    EXPECT_TRUE(SpeedRequests(sim::kOpSetCdSpeed).empty()) << "nothing until the next change";

    otherProgram();
    ClearTrace();
    Tick(5000);
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed), std::vector<uint32_t>{kCd48x[4]});

    D(0).WinBack = 0;
    otherProgram();
    ClearTrace();
    Tick(10000);
    EXPECT_TRUE(SpeedRequests(sim::kOpSetCdSpeed).empty()) << "the option is off";

    D(0).WinBack = 1;
    D(0).ReportCD = kReportFixed;  // a report that cannot show the change
    ClearTrace();
    Tick(10000);
    EXPECT_TRUE(SpeedRequests(sim::kOpSetCdSpeed).empty());
}

}  // namespace
}  // namespace tarvik::test
