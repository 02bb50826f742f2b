// Every dialog of the program laid out at 96, 120, 144 and 192 DPI, with a
// font whose characters and lines grow with the DPI as the system's do: each
// control inside its container and the client area, no two controls of a
// container on top of each other, and the dialog growing with the font.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dialog_fakes.h"
#include "platform/dpi.h"
#include "ui/dialog/dialog_layout.h"
#include "ui/dialogs/drive_options.h"
#include "ui/dialogs/message_box.h"
#include "ui/dialogs/options.h"
#include "ui/dialogs/password.h"
#include "ui/dialogs/reminder.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

using testing::FakeFont;
using testing::FakeMetrics;
using testing::Inside;
using testing::Overlap;

std::u16string Lookup(unsigned id) { return std::u16string(ResString(id)); }

FakeFont FontAt(int dpi) {
    FakeFont f;
    f.dpi = dpi;
    f.charWidth = ScaleForDpi(6, dpi);
    f.lineHeight = ScaleForDpi(13, dpi);
    f.maxCharWidth = ScaleForDpi(16, dpi);
    f.scrollWidth = f.scrollHeight = ScaleForDpi(17, dpi);
    f.icon = {ScaleForDpi(32, dpi), ScaleForDpi(32, dpi)};
    return f;
}

// The dialog's client size at `dpi`, after checking where everything went.
Size LaidOutAt(DialogTable table, int dpi) {
    FakeMetrics metrics(FontAt(dpi));
    metrics.LoadTexts(table, Lookup);
    std::vector<ItemState> items = MakeItemStates(table);
    const Size client = MeasureDialog(items, metrics);
    std::map<uint16_t, Box> placed;  // by id; the first row of an id wins
    for (const Placement& p : PlaceDialog(items, metrics, client.width, client.height))
        placed.emplace(items[p.index].id, p.box);
    const Box all{0, 0, client.width, client.height};
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemState& item = items[i];
        const auto box = placed.find(item.id);
        if (box == placed.end() || box->second.width == 0 || box->second.height == 0) continue;
        EXPECT_TRUE(Inside(box->second, all)) << "control " << item.id;
        const auto parent = placed.find(item.parent);
        if (parent != placed.end())
            EXPECT_TRUE(Inside(box->second, parent->second))
                << "control " << item.id << " outside " << item.parent;
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            const auto other = placed.find(items[j].id);
            if (items[j].parent == item.parent && other != placed.end() && other != box)
                EXPECT_FALSE(Overlap(box->second, other->second))
                    << "controls " << item.id << " and " << items[j].id;
        }
    }
    return client;
}

TEST(DialogsAtEveryDpi, EveryControlHasItsOwnPlaceAndTheDialogGrowsWithTheFont) {
    const auto options = OptionsDialogRows(nullptr);
    const auto password = PasswordDialogRows(nullptr, nullptr);
    const MessageBoxDescription question =
        DescribeMessageBox(IDS_RESET_CONFIRM, 1);  // OK and Cancel
    const ReminderDescription reminder = DescribeReminder(ReminderKind::Disk, nullptr, nullptr);
    const std::map<std::string, DialogTable> dialogs = {
        {"options", DialogTable(options.data(), options.size())},
        {"drive options", DialogTable(kDriveOptionsTable.data(), kDriveOptionsTable.size())},
        {"progress", DialogTable(kProgressTable.data(), kProgressTable.size())},
        {"password", DialogTable(password.data(), password.size())},
        {"message box", question.table()},
        {"reminder", reminder.table()},
    };
    for (const auto& [name, table] : dialogs) {
        SCOPED_TRACE(name);
        Size before = LaidOutAt(table, 96);
        for (int dpi : {120, 144, 192}) {
            SCOPED_TRACE(dpi);
            // The text grows with the DPI; the few fixed pixels of frames,
            // gaps and a progress bar's width do not shrink.
            const Size size = LaidOutAt(table, dpi);
            EXPECT_GE(size.width, before.width);
            EXPECT_GT(size.height, before.height);
            before = size;
        }
    }
}

}  // namespace
}  // namespace tarvik
