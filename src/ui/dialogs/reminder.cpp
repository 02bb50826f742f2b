#include "ui/dialogs/reminder.h"
#include "drive/all_drives.h"

#include "base/text.h"
#include "drive/speed_control.h"
#include "platform/system.h"
#include "string_ids.h"

namespace tarvik {

ReminderDescription DescribeReminder(ReminderKind kind, ItemHandler diskList,
                                     ItemHandler countdown) {
    const bool disk = kind == ReminderKind::Disk;
    ReminderDescription d;
    std::size_t n = 0;
    auto add = [&](const DialogItem& row) { d.rows[n++] = row; };
    add({&ctl::GroupColumn, kReminderFrame, u"", 0, 0, nullptr});
    if (disk) add({&ctl::Label, kReminderDiskList, nullptr, 0, kReminderFrame, diskList});
    // Layout code 1: the row keeps its size instead of taking the label's Fill.
    add({&ctl::Row, kReminderTimeRow, u"1", 0, kReminderFrame, nullptr});
    add({&ctl::Label, kReminderTimeLabel, nullptr, IDS_TIME_LEFT, kReminderTimeRow, nullptr});
    add({&ctl::Spacer, kReminderTimeGap, nullptr, 0, kReminderTimeRow, nullptr});
    // Two digits wide: the layout is measured once, before the count changes.
    add({&ctl::LabelRight, kReminderCountdown, u"00", 0, kReminderTimeRow, countdown});
    add({&ctl::GroupRow, kReminderButtonFrame, u"", 0, 0, nullptr});
    add({&ctl::DefaultButton, 1, nullptr, disk ? IDS_REMINDER_EJECT : IDS_REMINDER_CLOSE_TRAY,
         kReminderButtonFrame, countdown});
    add({&ctl::Spacer, kReminderButtonGap, nullptr, 0, kReminderButtonFrame, nullptr});
    add({&ctl::Button, 2, nullptr, IDS_CANCEL, kReminderButtonFrame, countdown});
    d.count = n;
    return d;
}

unsigned ReminderTitleId(ReminderKind kind) {
    return kind == ReminderKind::Disk ? IDS_DISK_INSERTED : IDS_TRAY_OPENED;
}

void ReminderStart(DialogView& view, const ReminderContext& context) {
    view.SetNumber(kReminderCountdown, context.seconds);
}

int ReminderTick(DialogView& view, ReminderContext& context) {
    const unsigned n = view.Number(kReminderCountdown);
    if (n < 2) {
        context.ranOut = true;
        return kReminderTimedOut;
    }
    if (context.condition && context.condition()) return kReminderCancel;
    view.SetNumber(kReminderCountdown, n - 1);
    return 0;
}

int ReminderCommandResult(uint16_t id, const ReminderContext& context) {
    switch (id) {
        case kReminderAction:
        case kReminderCancel: return id;
        case kReminderTimedOut: return context.ranOut ? kReminderTimedOut : 0;
        default: return 0;
    }
}

void FinishReminder(ReminderKind kind, int result, bool closeOnTimeout) {
    if (kind == ReminderKind::Disk) {
        if (result == kReminderAction) (void)EjectAllDisks();
        return;
    }
    if (result == kReminderAction || (result == kReminderTimedOut && closeOnTimeout))
        CloseAllTrays();
}

bool NoDiskPresent() { return DisksPresentMask(0) == 0; }
bool AllTraysClosed() { return IsAllClosed() != 0; }

std::u16string DiskListText(uint32_t mask) {
    std::u16string list;
    for (unsigned bit = 0; bit < 26; ++bit) {
        if (!(mask & (1u << bit))) continue;
        const char letter = static_cast<char>('A' + bit);
        std::string label;
        if (!Sys().VolumeInformation(std::string(1, letter) + ":\\", &label, nullptr)) continue;
        list += static_cast<char16_t>(letter);
        list += u": \"";
        for (unsigned char c : label) list += static_cast<char16_t>(AnsiToCodePoint(c));
        list += u"\"\n";
    }
    return list;
}

}  // namespace tarvik
