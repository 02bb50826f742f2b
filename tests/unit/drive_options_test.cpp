// The drive options dialog's model over a fake view: its table, filling and
// writing back, unit conversion, list editing, the tray lock, and the
// detections on simulated drives.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "base/log.h"

#include "drive/drive_list.h"
#include "drive/speed_detect.h"
#include "drive/speed_obey.h"
#include "drive_sim_fixture.h"
#include "sim_drive.h"
#include "string_ids.h"
#include "ui/dialog/dialog_view.h"
#include "ui/dialogs/drive_options.h"
#include "ui/text/strings.h"

namespace tarvik::test {
namespace {

class FakeUi : public DriveOptionsUi {
public:
    std::map<uint16_t, std::vector<std::pair<std::u16string, std::u16string>>> rows;
    std::map<uint16_t, int> selected;
    std::map<uint16_t, uint32_t> hotKeys;
    bool passwordRight = false;
    int passwordAsked = 0;
    std::deque<int> boxAnswers;  // then Cancel
    std::vector<unsigned> boxes;
    ProgressFn progress = nullptr;  // what the progress window does, none: no window
    void* progressUser = nullptr;
    int ended = 0;

    void ClearRows(uint16_t list) override { rows[list].clear(); }
    void InsertRow(uint16_t list, unsigned at, std::u16string_view speed,
                   std::u16string_view command) override {
        auto& r = rows[list];
        r.insert(r.begin() + at, {std::u16string(speed), std::u16string(command)});
    }
    void DeleteRow(uint16_t list, unsigned at) override {
        rows[list].erase(rows[list].begin() + at);
    }
    int SelectedRow(uint16_t list) const override {
        auto it = selected.find(list);
        return it == selected.end() ? -1 : it->second;
    }
    void SelectRow(uint16_t list, unsigned at) override { selected[list] = static_cast<int>(at); }
    uint32_t HotKey(uint16_t id) const override {
        auto it = hotKeys.find(id);
        return it == hotKeys.end() ? 0 : it->second;
    }
    void SetHotKey(uint16_t id, uint32_t value) override { hotKeys[id] = value; }
    bool AskPassword() override { return ++passwordAsked, passwordRight; }
    int MessageBox(unsigned stringId, unsigned) override {
        boxes.push_back(stringId);
        if (boxAnswers.empty()) return 2;
        const int answer = boxAnswers.front();
        boxAnswers.pop_front();
        return answer;
    }
    ScanEnd RunScan(unsigned, DetectFn scan, CdromDrive* drive) override {
        scan(drive, progress, progressUser);
        return ScanEnd::Done;
    }
    void End(int result) override { ended = result; }
};

class DriveOptionsTest : public DriveSim {
protected:
    void Open(CdromDrive& drive) {
        context_ = {&drive, password_, DriveListGeneration()};
        model_ = std::make_unique<DriveOptionsModel>(context_, view_, ui_);
        model_->Open();
    }
    void Type(uint16_t id, std::u16string_view text) {
        view_.SetText(id, text);
        model_->EditChanged(id);
    }
    void AddPair(uint32_t speed, uint32_t command) {
        view_.SetNumber(kDoAddSpeedKb, speed);
        view_.SetNumber(kDoAddCommandKb, command);
        model_->Add();
    }
    static void SetList(SpeedList& list, const Pairs& pairs) {
        list.Count = static_cast<uint32_t>(pairs.size());
        for (size_t i = 0; i < pairs.size(); ++i)
            list.Entries[i] = {pairs[i].first, pairs[i].second};
    }
    static Pairs PairsOf(const std::vector<SpeedEntry>& entries) {
        Pairs out;
        for (const SpeedEntry& e : entries) out.emplace_back(e.Speed, e.Command);
        return out;
    }
    // A record as the list gives it, not started on the bus.
    CdromDrive Offline() {
        CdromDrive d;
        std::strcpy(d.Name, "TARVIKSM BD SIM12X       1.03");
        d.SpeedListCD.Factor = kFactorCD;
        d.SpeedListDVD.Factor = kFactorDVD;
        d.SpeedListBD.Factor = kFactorBD;
        d.IsDVD = d.IsBD = 1;
        d.CurrentFamily = MediumFamily::CD;
        return d;
    }

    char password_[35] = {};
    MapDialogView view_;
    FakeUi ui_;
    DriveOptionsContext context_;
    std::unique_ptr<DriveOptionsModel> model_;
};

TEST(DriveOptionsTable, RowsIdsParentsAndProgressWindow) {
    const auto check = [](std::span<const DialogItem> table, const std::set<uint32_t>& stacked) {
        std::map<uint32_t, const DialogItem*> byId;
        for (const DialogItem& row : table)
            EXPECT_TRUE(byId.emplace(row.id, &row).second) << row.id;
        for (const DialogItem& row : table) {
            if (row.parent == 0) continue;
            ASSERT_TRUE(byId.count(row.parent)) << row.id << " has no parent " << row.parent;
            const ControlClass* cls = byId[row.parent]->cls;
            const bool container =
                IsContainer(cls) || cls == &ctl::GroupRow || cls == &ctl::GroupColumn;
            EXPECT_TRUE(container || stacked.count(row.id)) << row.id << " in " << row.parent;
            // No cycles: the root is reached within as many steps as there are rows.
            uint32_t at = row.id;
            size_t steps = 0;
            while (at != 0 && steps++ <= table.size()) at = byId[at]->parent;
            EXPECT_EQ(at, 0u) << row.id;
        }
    };
    check(kDriveOptionsTable, {175, 176, 178, 179, 181, 182, 187, 188});
    for (uint32_t id : {175u, 176u, 178u, 179u, 181u, 182u, 187u, 188u}) {
        const auto it = std::find_if(kDriveOptionsTable.begin(), kDriveOptionsTable.end(),
                                     [id](const DialogItem& r) { return r.id == id; });
        // Stacked on the CD item of the same kind.
        const uint32_t cd = id >= 187 ? 186 : id - (id - 174) % 3;
        EXPECT_EQ(it->parent, cd) << id;
    }
    check(kProgressTable, {});
}

// The progress lines carry no line feed of their own: a scan's reports run on
// in one line, each behind its time stamp.
TEST(DriveOptionsLog, ProgressLinesAreWrittenAsTheyAre) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("progress-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const LogTimeSource clock = SetLogTimeSource(nullptr);  // every stamp 00:00:00.000
    ASSERT_EQ(LogOpen((dir / "p").string().c_str(), ".log"), 1);
    const std::string path = LogPath();
    LogProgress(0, 0, 0, 2770, 2770);       // an entry found
    LogProgress(0, 22160, 11080, 0, 0);     // half way through a fast scan
    LogProgress(4495, 71920, 21351, 0, 0);  // a Blu-ray full scan past 16 bits
    LogProgress(5540, 5540, 5540, 0, 0);    // nothing to scan: 0%
    LogProgress(0, 0, 0, 0, 0);             // nothing to say
    LogProgress(10, 20, 30, 40, 50);        // both
    LogPrintf("FINISHED ScanCDROMSpeedFast\n");
    LogClose();
    (void)SetLogTimeSource(clock);
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    in.close();
    fs::remove_all(dir);
    EXPECT_EQ(text,
              "00:00:00.000     Got speed=2770, command=2770"
              "00:00:00.000         BarUpdate: min=0, max=22160, pos=11080 (50%)"
              "00:00:00.000         BarUpdate: min=4495, max=71920, pos=21351 (24%)"
              "00:00:00.000         BarUpdate: min=5540, max=5540, pos=5540 (0%)"
              "00:00:00.000         BarUpdate: min=10, max=20, pos=30 (200%)"
              "00:00:00.000     Got speed=40, command=50"
              "00:00:00.000 FINISHED ScanCDROMSpeedFast\n");
}

TEST_F(DriveOptionsTest, BluRaySpeedsAbove65535SurviveOpenAndOk) {
    CdromDrive d = Offline();
    d.CurrentFamily = MediumFamily::BD;
    SetList(d.SpeedListBD, {{71920, 71920}, {53940, 53940}, {35960, 35960}});
    d.SpeedListBD.MethodPrefered = kMethodSetStreaming;
    d.HotKeys[2] = 0x1000 | 0x0200 | 'M';
    d.Timer = 30;
    const CdromDrive before = d;
    Open(d);
    EXPECT_EQ(model_->medium(), 2u);
    EXPECT_TRUE(view_.Shown(188) && !view_.Shown(186) && !view_.Shown(187));
    EXPECT_EQ(ui_.rows[188][0], (std::pair<std::u16string, std::u16string>{u"16", u"16"}));
    model_->Ok();
    EXPECT_EQ(ui_.ended, 1);
    EXPECT_EQ(EntriesOf(d.SpeedListBD), EntriesOf(before.SpeedListBD));
    EXPECT_EQ(d.SpeedListBD.MethodPrefered, kMethodSetStreaming);
    EXPECT_EQ(d.HotKeys[2], before.HotKeys[2]);
    EXPECT_EQ(d.Timer, 30u);

    // Faster than everything, beyond 16 bits: first, as typed.
    Open(d);
    AddPair(80910, 80910);
    model_->Ok();
    EXPECT_EQ(EntriesOf(d.SpeedListBD).front(), (std::pair<uint32_t, uint32_t>{80910, 80910}));
    EXPECT_EQ(d.SpeedListBD.Count, 4u);
}

TEST_F(DriveOptionsTest, TypedValuesConvertBetweenXAndKbsWithinBounds) {
    CdromDrive d = Offline();
    Open(d);
    Type(kDoAddSpeedX, u"8");
    EXPECT_EQ(view_.Text(kDoAddSpeedKb), u"1408");
    Type(kDoAddSpeedKb, u"1500");
    EXPECT_EQ(view_.Text(kDoAddSpeedX), u"9");  // (15000 / 176 + 5) / 10
    // A huge factor is bounded before it is multiplied: no wrap to a small speed.
    Type(kDoAddCommandX, u"4294967295");
    EXPECT_EQ(view_.Text(kDoAddCommandKb), u"175824");  // 999 x 176

    // On DVD the DVD factor, and switching empties the four fields.
    view_.SetChecked(kDoMediumCD, false);
    view_.SetChecked(kDoMediumCD + 1, true);
    model_->SwitchMedium();
    EXPECT_EQ(view_.Text(kDoAddSpeedX), u"");
    EXPECT_TRUE(view_.Shown(187) && view_.Shown(175) && !view_.Shown(186) && !view_.Shown(174));
    Type(kDoAddCommandKb, u"22160");
    EXPECT_EQ(view_.Text(kDoAddCommandX), u"16");

    // The timer is bounded too.
    GlobalSettings.TimerEnable = 1;
    view_.SetChecked(kDoByTimer, true);
    view_.SetText(kDoTimer, u"999999");
    model_->Ok();
    EXPECT_EQ(d.Timer, kMaxTimerSeconds);
}

TEST_F(DriveOptionsTest, AddReplacesTheSameStepAppendsInsertsFirstAndStopsWhenFull) {
    CdromDrive d = Offline();
    SetList(d.SpeedListCD, {{7040, 7040}, {1500, 1500}, {704, 704}});
    Open(d);
    AddPair(1408, 1408);  // 8x, like 1500
    EXPECT_EQ(PairsOf(model_->entries(0)), (Pairs{{7040, 7040}, {1408, 1408}, {704, 704}}));
    EXPECT_EQ(ui_.SelectedRow(186), 1);
    AddPair(352, 300);
    AddPair(8448, 8448);
    EXPECT_EQ(PairsOf(model_->entries(0)),
              (Pairs{{8448, 8448}, {7040, 7040}, {1408, 1408}, {704, 704}, {352, 300}}));
    EXPECT_EQ(ui_.rows[186].size(), 5u);
    EXPECT_EQ(ui_.rows[186][4], (std::pair<std::u16string, std::u16string>{u"2", u"2"}));
    AddPair(0, 500);  // nothing without a speed
    EXPECT_EQ(model_->entries(0).size(), 5u);
    EXPECT_EQ(d.SpeedListCD.MaxLevel, 8u);

    model_->DeleteAll();
    for (uint32_t i = 0; i < kMaxSpeedEntries; ++i) AddPair(200000 - i * 176, 1000);
    ASSERT_EQ(model_->entries(0).size(), kMaxSpeedEntries);
    AddPair(300000, 300000);
    EXPECT_EQ(model_->entries(0).size(), kMaxSpeedEntries);
    EXPECT_EQ(model_->entries(0).front().Speed, 200000u);

    ui_.selected[186] = 0;
    model_->Delete();
    model_->Ok();
    EXPECT_EQ(d.SpeedListCD.Count, kMaxSpeedEntries - 1);
    EXPECT_EQ(d.SpeedListCD.Entries[0].Speed, 200000u - 176);
}

TEST_F(DriveOptionsTest, LockTrayGoesOffOnlyWithThePassword) {
    CdromDrive d = Offline();
    d.AutoLock = 1;
    std::strcpy(password_, "$1$salt$hash");
    Open(d);
    model_->LockTray();  // wrong (or cancelled) password
    EXPECT_TRUE(view_.Checked(kDoLockTray));
    ui_.passwordRight = true;
    model_->LockTray();
    EXPECT_FALSE(view_.Checked(kDoLockTray));
    model_->LockTray();  // on again needs no password
    EXPECT_TRUE(view_.Checked(kDoLockTray));
    EXPECT_EQ(ui_.passwordAsked, 2);

    password_[0] = '\0';
    model_->LockTray();
    EXPECT_FALSE(view_.Checked(kDoLockTray));
    EXPECT_EQ(ui_.passwordAsked, 2) << "no password set: none asked";
}

TEST_F(DriveOptionsTest, ARecordWhoseListWasRebuiltIsNeverWritten) {
    CdromDrive d = Offline();
    Open(d);
    view_.SetChecked(kDoIgnore, true);
    FreeDriveList();  // a command run meanwhile dropped the list
    model_->Ok();
    EXPECT_EQ(ui_.ended, 2);
    EXPECT_EQ(d.Ignore, 0u);
}

struct CancelAfter {
    int progressCalls;
    static int Fn(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command,
                  void* user) {
        if (speed || command) return 1;
        (void)min, (void)max, (void)pos;
        return --static_cast<CancelAfter*>(user)->progressCalls > 0;
    }
};

TEST_F(DriveOptionsTest, CancelDuringAScanKeepsWhatWasFound) {
    Add(DvdWriter());
    Start();
    Settle();
    CdromDrive d = Record(0);
    Open(d);
    CancelAfter cancel{1};
    ui_.progress = CancelAfter::Fn;
    ui_.progressUser = &cancel;
    ClearTrace();
    model_->Detect(kDoFast);
    // The first probe found the top speed, then Cancel: no second method wipes it.
    EXPECT_EQ(PairsOf(model_->entries(0)), (Pairs{{8448, 8448}}));
    EXPECT_EQ(EntriesOf(d.SpeedListCD), (Pairs{{8448, 8448}}));
    EXPECT_EQ(ui_.rows[186].size(), 1u);
    EXPECT_EQ(CountOp(sim::kOpSetStreaming), 1u) << "only the capability probe";

    // Uncancelled, the full list; the medium is there, so no failure message.
    cancel.progressCalls = 1000;
    model_->Detect(kDoFast);
    EXPECT_EQ(model_->entries(0).size(), kCd48x.size());
    EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(DriveOptionsTest, ScanStopsTouchingTheRecordOnceTheListIsGone) {
    Add(DvdWriter());
    Start();
    Settle();
    CdromDrive d = Record(0);
    Open(d);
    ui_.progress = [](uint32_t, uint32_t, uint32_t, uint32_t speed, uint32_t, void* user) {
        if (speed) return 1;
        FreeDriveList();  // what a command dispatched by the progress pump may do
        static_cast<sim::Bus*>(user)->ClearTrace();
        return 0;
    };
    ui_.progressUser = &bus_;
    model_->Detect(kDoFast);
    EXPECT_EQ(ui_.ended, 2) << "the dialog of a vanished record ends";
    EXPECT_TRUE(Ops().empty()) << "no command after the list was freed, not even the put-back";
}

TEST_F(DriveOptionsTest, MeasureAsksForADiskOnlyWhileTheAnswerIsOk) {
    sim::Profile empty = DvdWriter();
    empty.medium = sim::Medium{};
    Add(empty);
    Start();
    Settle();
    CdromDrive d = Record(0);
    Open(d);
    ui_.boxAnswers = {1, 1, 2};
    model_->Detect(kDoMeasure);
    EXPECT_EQ(ui_.boxes, (std::vector<unsigned>(3, IDS_INSERT_DATA_DISK)));
    // A box that failed (0, -1) ends the loop as Cancel does.
    for (int failed : {0, -1}) {
        ui_.boxes.clear();
        ui_.boxAnswers = {failed, 1, 1};
        model_->Detect(kDoMeasure);
        EXPECT_EQ(ui_.boxes.size(), 1u) << failed;
    }
}

// The end of a detection says when the list will not help: a drive that
// ignores or refuses the speed, a Measure whose rates were no list.
TEST_F(DriveOptionsTest, DetectionEndSaysWhenTheDriveDoesNotObey) {
    sim::Profile ignoring = DvdWriter("IGNORES");
    sim::SpeedModel& cd = ignoring.Speeds(sim::Family::Cd);
    cd.setCdSpeed = sim::Obey::Ignore;
    cd.reportCurrent = sim::Report::Fixed;
    cd.fixedCurrent = 5632;
    ignoring.medium.blocks = 330000;
    sim::Profile refusing = DvdWriter("REFUSES");
    refusing.Speeds(sim::Family::Cd).setCdSpeed = sim::Obey::Unknown;
    refusing.Speeds(sim::Family::Cd).setStreaming = sim::Obey::Unknown;
    Add(ignoring);
    Add(refusing);
    Add(DvdWriter());
    Start();
    Settle();

    CdromDrive d = Record(0);
    Open(d);
    model_->Detect(kDoFast);
    EXPECT_EQ(ui_.boxes, std::vector<unsigned>{IDS_DETECT_IGNORES});
    SpeedList& list = d.SpeedListCD;
    list.Count = 2;
    list.Entries[0] = {3000, 3000};
    list.Entries[1] = {1000, 1000};
    model_->Open();
    ui_.boxes.clear();
    model_->Detect(kDoMeasure);
    EXPECT_EQ(ui_.boxes, std::vector<unsigned>{IDS_MEASURE_FLAT});
    EXPECT_EQ(PairsOf(model_->entries(0)), (Pairs{{3000, 3000}, {1000, 1000}}));

    CdromDrive r = Record(1);
    Open(r);
    ui_.boxes.clear();
    model_->Detect(kDoFast);
    EXPECT_EQ(ui_.boxes, std::vector<unsigned>{IDS_DETECT_REFUSES});

    CdromDrive o = Record(2);
    Open(o);
    ui_.boxes.clear();
    model_->Detect(kDoFast);
    EXPECT_TRUE(ui_.boxes.empty()) << "an obeying drive is no news";
}

// The win-back box is offered only where the drive's report follows the
// command; elsewhere it is greyed and the reason is shown beside it.
TEST_F(DriveOptionsTest, WinBackIsGreyedWithTheReasonWhereTheReportCannotBeTrusted) {
    CdromDrive d = Offline();
    d.IsBD = 0;
    const struct {
        uint32_t reportCD, verdictCD, reportDVD;
        bool enabled;
        unsigned why;
    } cases[] = {
        {kReportUnknown, kVerdictUnknown, kReportUnknown, false, IDS_DRV_WIN_BACK_NOT_KNOWN},
        {kReportFixed, kVerdictIgnores, kReportUnknown, false, IDS_DRV_WIN_BACK_FIXED},
        {kReportUnknown, kVerdictRefuses, kReportFixed, false, IDS_DRV_WIN_BACK_REFUSES},
        {kReportFixed, kVerdictIgnores, kReportFollows, true, 0},  // DVD discs: it works
        {kReportFollows, kVerdictObeys | kVerdictByRead, kReportUnknown, true, 0},
    };
    for (const auto& c : cases) {
        d.ReportCD = c.reportCD;
        d.VerdictCD = c.verdictCD;
        d.ReportDVD = c.reportDVD;
        Open(d);
        EXPECT_EQ(view_.Enabled(kDoWinBack), c.enabled) << c.why;
        EXPECT_EQ(view_.Text(kDoWinBackWhy), c.why ? ResString(c.why) : std::u16string());
    }
    // OK keeps the box as it is; Open shows what is stored.
    EXPECT_FALSE(view_.Checked(kDoWinBack));
    view_.SetChecked(kDoWinBack, true);
    model_->Ok();
    EXPECT_EQ(d.WinBack, 1u);
    Open(d);
    EXPECT_TRUE(view_.Checked(kDoWinBack));
}

}  // namespace
}  // namespace tarvik::test
