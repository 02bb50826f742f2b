#pragma once
// The two reminders of the session end, "Disk inserted!" and "Tray opened!":
// their tables, the countdown as a model over a dialog view, the list of
// disks, and what happens once a reminder has ended. The _win32 side only
// runs the dialog and its one-second timer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/dialog/dialog_table.h"
#include "ui/dialog/dialog_view.h"

namespace tarvik {

// How a reminder ended: the action button, Cancel (or the reason for it went
// away), the countdown ran out; 0 when none could be shown.
constexpr int kReminderAction = 1;
constexpr int kReminderCancel = 2;
constexpr int kReminderTimedOut = 106;

// Row ids that are not buttons. The countdown label's id is also the result
// of a reminder whose time ran out.
enum : uint16_t {
    kReminderFrame = 101,
    kReminderDiskList = 102,
    kReminderTimeRow = 103,
    kReminderTimeLabel = 104,
    kReminderTimeGap = 105,
    kReminderCountdown = kReminderTimedOut,
    kReminderButtonFrame = 107,
    kReminderButtonGap = 108,
};

enum class ReminderKind : uint8_t { Disk, Tray };

// The dialog's context record.
struct ReminderContext {
    unsigned seconds = 0;           // where the countdown starts
    bool (*condition)() = nullptr;  // true once the reminder is no longer needed
    bool ranOut = false;            // the countdown posted its time-out
};

// The table of a reminder; the disk list row only in the disk reminder. The
// handlers are the view's: `diskList` fills row 102, `countdown` takes the
// countdown label and both buttons.
struct ReminderDescription {
    std::array<DialogItem, 10> rows;
    std::size_t count = 0;
    DialogTable table() const { return DialogTable(rows.data(), count); }
};
ReminderDescription DescribeReminder(ReminderKind kind, ItemHandler diskList,
                                     ItemHandler countdown);

// The caption's text after the program title.
unsigned ReminderTitleId(ReminderKind kind);

// The countdown label shows where the countdown starts.
void ReminderStart(DialogView& view, const ReminderContext& context);

// One second of the countdown: the command the dialog must post to itself
// (kReminderTimedOut once the label reads below 2, else kReminderCancel once
// the condition holds), or 0 after counting the label down by one.
int ReminderTick(DialogView& view, ReminderContext& context);

// A WM_COMMAND from one of the countdown's rows: the result to end the
// dialog with, or 0 to stay open. The countdown label is a notifying static,
// so a click on the number sends its id too; only the timer's own time-out
// ends the dialog as timed out.
int ReminderCommandResult(uint16_t id, const ReminderContext& context);

// Carries out a reminder's result: the disk reminder ejects all disks when
// its action button was pressed; the tray reminder closes all trays then, and
// also when its time ran out while closeOnTimeout is set.
void FinishReminder(ReminderKind kind, int result, bool closeOnTimeout);

// What ends each reminder by itself: no disc left in a drive, every tray closed.
bool NoDiskPresent();
bool AllTraysClosed();

// One line per letter of `mask` (bit 0 = A:) whose volume label can be read:
// the letter, ": ", the label in double quotes and a line feed.
std::u16string DiskListText(uint32_t mask);

}  // namespace tarvik
