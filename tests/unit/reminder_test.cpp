// The session-end reminders: the countdown second by second on a virtual
// clock, what ends a reminder and what it then does to simulated drives, the
// list of disks, and the two tables laid out as the engine does.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "dialog_fakes.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "drive_sim_fixture.h"
#include "platform/clock.h"
#include "platform/system.h"
#include "ui/dialog/dialog_layout.h"
#include "ui/dialog/dialog_view.h"
#include "ui/dialogs/reminder.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

// Runs the countdown as its one-second timer does: the labels shown after
// each tick, until a tick asks to end the dialog; that tick's number and id.
struct Counted {
    std::vector<unsigned> shown;
    unsigned ticks = 0;
    int result = 0;
};
Counted Count(unsigned seconds, bool (*condition)(), VirtualClock* clock = nullptr) {
    MapDialogView view;
    ReminderContext context;
    context.seconds = seconds;
    context.condition = condition;
    ReminderStart(view, context);
    Counted run;
    run.shown.push_back(view.Number(kReminderCountdown));
    while (run.ticks < 100 && run.result == 0) {
        if (clock) clock->Advance(1000);
        ++run.ticks;
        run.result =
            ReminderCommandResult(static_cast<uint16_t>(ReminderTick(view, context)), context);
        if (run.result == 0) run.shown.push_back(view.Number(kReminderCountdown));
    }
    return run;
}

int g_conditionCalls = 0;
bool NeverDone() { return ++g_conditionCalls, false; }

TEST(ReminderCountdown, RunsOutAfterItsSecondsTestingTheConditionFromTheFirstSecond) {
    struct Case {
        unsigned seconds;
        std::vector<unsigned> shown;
        unsigned ticks;
    };
    const Case cases[] = {
        {0, {0}, 1},  // nothing to count: over at the first tick
        {1, {1}, 1},
        {3, {3, 2, 1}, 3},
        {10, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        g_conditionCalls = 0;
        const Counted run = Count(c.seconds, NeverDone);
        EXPECT_EQ(run.result, kReminderTimedOut);
        EXPECT_EQ(run.shown, c.shown);
        EXPECT_EQ(run.ticks, c.ticks);
        // Asked at every tick that counted down, never before the first second.
        EXPECT_EQ(g_conditionCalls, c.ticks - 1);
    }
}

TEST(ReminderCountdown, OnlyItsOwnTimeOutEndsTheDialogAsTimedOut) {
    ReminderContext context;
    context.seconds = 5;
    // A click on the number sends the label's id as well: the dialog stays.
    EXPECT_EQ(ReminderCommandResult(kReminderTimedOut, context), 0);
    EXPECT_EQ(ReminderCommandResult(kReminderAction, context), kReminderAction);
    EXPECT_EQ(ReminderCommandResult(kReminderCancel, context), kReminderCancel);
    EXPECT_EQ(ReminderCommandResult(kReminderTimeLabel, context), 0);

    MapDialogView view;
    view.SetNumber(kReminderCountdown, 1);
    EXPECT_EQ(ReminderTick(view, context), kReminderTimedOut);
    EXPECT_EQ(ReminderCommandResult(kReminderTimedOut, context), kReminderTimedOut);
}

// ---- on simulated drives ---------------------------------------------------------------

class ReminderOnDrives : public test::DriveSim {
protected:
    // D: with a disc, E: with a disc, F: empty; all trays closed.
    void SetUp() override {
        DriveSim::SetUp();
        Add(test::DvdWriter("D"));
        Add(test::DvdWriter("E"));
        sim::Profile empty = test::DvdWriter("F");
        empty.medium = sim::Medium{};
        Add(empty);
        Start();
        Settle();
        CdromList.drives = {Record(0), Record(1), Record(2)};
        ClearTrace();
    }
    size_t TrayMoves() const { return CountOp(sim::kOpStartStopUnit); }
};

VirtualClock* g_clock = nullptr;
uint64_t g_removedAt = 0;
bool DiscsGoneAfterThreeAndAHalfSeconds() { return g_clock->Elapsed() >= g_removedAt; }

TEST_F(ReminderOnDrives, ADiskReminderWhoseReasonGoesAwayEndsAtTheNextTickWithoutActing) {
    g_clock = &Clock();
    g_removedAt = Clock().Elapsed() + 3500;  // between two ticks
    const Counted run = Count(10, DiscsGoneAfterThreeAndAHalfSeconds, &Clock());
    EXPECT_EQ(run.result, kReminderCancel);
    EXPECT_EQ(run.ticks, 4u);  // the first tick after the reason went away
    EXPECT_EQ(run.shown, (std::vector<unsigned>{10, 9, 8, 7}));

    FinishReminder(ReminderKind::Disk, run.result, true);
    EXPECT_EQ(TrayMoves(), 0u);
    EXPECT_FALSE(Sim(0).TrayOpen());
}

TEST_F(ReminderOnDrives, EachResultDoesWhatItsReminderPromises) {
    struct Case {
        ReminderKind kind;
        int result;
        bool closeOnTimeout;
        bool acts;
    };
    const Case cases[] = {
        {ReminderKind::Disk, kReminderAction, false, true},
        {ReminderKind::Disk, kReminderCancel, true, false},
        {ReminderKind::Disk, kReminderTimedOut, true, false},  // a disk is never ejected unasked
        {ReminderKind::Disk, 0, true, false},                  // not shown
        {ReminderKind::Tray, kReminderAction, false, true},
        {ReminderKind::Tray, kReminderCancel, true, false},
        {ReminderKind::Tray, kReminderTimedOut, false, false},
        {ReminderKind::Tray, kReminderTimedOut, true, true},
        {ReminderKind::Tray, -1, true, false},  // the system could not show it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.kind == ReminderKind::Disk ? "disk " : "tray ")
                                          << c.result << " " << c.closeOnTimeout);
        for (size_t i = 0; i < 3; ++i) {
            if (c.kind == ReminderKind::Tray)
                ASSERT_TRUE(Sim(i).OpenTray());
            else
                Sim(i).CloseTray();
        }
        Settle();
        ClearTrace();
        FinishReminder(c.kind, c.result, c.closeOnTimeout);
        if (c.kind == ReminderKind::Disk) {
            // Both discs come out; the empty drive is left alone.
            EXPECT_EQ(Sim(0).TrayOpen(), c.acts);
            EXPECT_EQ(Sim(1).TrayOpen(), c.acts);
            EXPECT_FALSE(Sim(2).TrayOpen());
        } else {
            for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Sim(i).TrayOpen(), !c.acts) << i;
        }
        if (!c.acts) {
            EXPECT_EQ(TrayMoves(), 0u);
        }
    }
}

// ---- the list of disks and the tables --------------------------------------------------

class LabelledVolumes : public System {
public:
    bool VolumeInformation(const std::string& root, std::string* label, uint32_t*) override {
        if (root == "D:\\") return *label = "DATA", true;
        if (root == "F:\\") return *label = "Caf\xE9 \x80", true;  // Windows-1252
        if (root == "G:\\") return *label = "", true;
        return false;
    }
};

TEST(ReminderDiskList, OneLinePerReadableVolumeInLetterOrder) {
    LabelledVolumes volumes;
    SetSystem(&volumes);
    // E: cannot be read; bits above Z are no letters.
    const uint32_t mask = (1u << 3) | (1u << 4) | (1u << 5) | (1u << 6) | 0x80000000u;
    EXPECT_EQ(DiskListText(mask), u"D: \"DATA\"\nF: \"Caf\u00E9 \u20AC\"\nG: \"\"\n");
    EXPECT_EQ(DiskListText(0), u"");
    SetSystem(nullptr);
}

// The rows' texts as the dialog shows them once its handlers have run.
testing::FakeMetrics MetricsFor(DialogTable table, std::u16string diskList) {
    testing::FakeFont font;
    font.widths = {{u" ", 3},      {u"Time left:", 48}, {u"00", 12},
                   {u"Eject", 25}, {u"Cancel", 33},     {u"D: Drive", 40}};
    testing::FakeMetrics metrics(font);
    for (const DialogItem& row : table)
        metrics.SetText(
            static_cast<uint16_t>(row.id),
            row.text ? std::u16string(row.text) : std::u16string(ResString(row.stringId)));
    metrics.SetText(kReminderDiskList, std::move(diskList));
    return metrics;
}

void ExpectWellFormed(DialogTable table) {
    std::set<uint32_t> ids, containers{0};
    for (const DialogItem& row : table) {
        EXPECT_TRUE(ids.insert(row.id).second) << "id " << row.id << " twice";
        EXPECT_TRUE(containers.contains(row.parent))
            << "row " << row.id << ": no container before it";
        if (IsContainer(row.cls) || row.cls == &ctl::GroupRow || row.cls == &ctl::GroupColumn)
            containers.insert(row.id);
    }
}

intptr_t ListHandler(HWND__*, uint16_t, unsigned, MsgWParam, MsgLParam) { return 0; }
intptr_t CountdownHandler(HWND__*, uint16_t, unsigned, MsgWParam, MsgLParam) { return 0; }

TEST(ReminderTables, TheDiskReminderIsTheWorkedExampleAndTheTrayOneHasNoList) {
    const ReminderDescription disk =
        DescribeReminder(ReminderKind::Disk, ListHandler, CountdownHandler);
    ASSERT_EQ(disk.table().size(), 10u);
    ExpectWellFormed(disk.table());
    testing::FakeMetrics metrics = MetricsFor(disk.table(), u"D: Drive");
    std::vector<ItemState> items = MakeItemStates(disk.table());
    EXPECT_EQ(MeasureDialog(items, metrics), (Size{211, 77}));

    // Without the list the frame is one line lower; the rest is the same.
    const ReminderDescription tray =
        DescribeReminder(ReminderKind::Tray, ListHandler, CountdownHandler);
    ASSERT_EQ(tray.table().size(), 9u);
    ExpectWellFormed(tray.table());
    metrics = MetricsFor(tray.table(), u"");
    items = MakeItemStates(tray.table());
    EXPECT_EQ(MeasureDialog(items, metrics), (Size{211, 64}));
}

}  // namespace
}  // namespace tarvik
