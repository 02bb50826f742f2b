// Every dialog of the program laid out in every language at 96, 120, 144 and
// 192 DPI, with a font whose characters and lines grow with the DPI as the
// system's do: each control inside its container and the client area, as
// wide as its text needs, no two controls of a container on top of each
// other, the dialog growing with the font and, at 96 DPI, within the work
// area of a 1024 x 768 screen.
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

// For the failure messages (no surrogate pairs in the tables).
std::string Utf8(std::u16string_view text) {
    std::string out;
    for (const char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

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

// A 1024 x 768 screen's work area, less the frame of a resizable dialog at
// 96 DPI (8 pixels a side with Windows 10's padded border).
constexpr int kWorkAreaWidth = 1024;
constexpr int kDialogFrame = 2 * 8;

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
        // Measuring sized the control to its text (and a check mark, a
        // button's margins, a group's frame): any narrower cuts the text.
        EXPECT_GE(box->second.width, item.width)
            << "text of control " << item.id << " wider than the control: \""
            << Utf8(metrics.Text(item.id)) << "\"";
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

// The message boxes of the program: the reset question with OK and Cancel,
// the rest with OK only.
constexpr unsigned kMessages[] = {
    IDS_RESET_CONFIRM,      IDS_RESTART_SESSION,    IDS_DETECTION_FAILED, IDS_INSERT_DATA_DISK,
    IDS_DETECT_IGNORES,     IDS_DETECT_REFUSES,     IDS_MEASURE_NOISE,    IDS_MEASURE_FLAT,
    IDS_MEASURE_UNMEASURED, IDS_CANT_REGISTER_CLASS};

TEST(DialogsAtEveryDpi, EveryControlHasItsOwnPlaceAndTheDialogGrowsWithTheFont) {
    int layouts = 0;
    for (const UiLanguage language : kUiLanguages) {
        SCOPED_TRACE(UiLanguageCode(language));
        SetUiLanguage(language);
        // Built in the language: a description may hold its texts.
        const auto options = OptionsDialogRows(nullptr);
        const auto password = PasswordDialogRows(nullptr, nullptr);
        std::vector<MessageBoxDescription> messages;
        for (unsigned id : kMessages)
            messages.push_back(DescribeMessageBox(id, id == IDS_RESET_CONFIRM ? 1 : 0));
        const ReminderDescription disk = DescribeReminder(ReminderKind::Disk, nullptr, nullptr);
        const ReminderDescription tray = DescribeReminder(ReminderKind::Tray, nullptr, nullptr);
        std::map<std::string, DialogTable> dialogs = {
            {"options", DialogTable(options.data(), options.size())},
            {"drive options", DialogTable(kDriveOptionsTable.data(), kDriveOptionsTable.size())},
            {"progress", DialogTable(kProgressTable.data(), kProgressTable.size())},
            {"password", DialogTable(password.data(), password.size())},
            {"disk reminder", disk.table()},
            {"tray reminder", tray.table()},
        };
        for (std::size_t i = 0; i < messages.size(); ++i)
            dialogs.emplace("message box " + std::to_string(kMessages[i]), messages[i].table());
        for (const auto& [name, table] : dialogs) {
            SCOPED_TRACE(name);
            Size before = LaidOutAt(table, 96);
            EXPECT_LE(before.width + kDialogFrame, kWorkAreaWidth) << "wider than the screen";
            ++layouts;
            for (int dpi : {120, 144, 192}) {
                SCOPED_TRACE(dpi);
                // The text grows with the DPI; the few fixed pixels of frames,
                // gaps and a progress bar's width do not shrink.
                const Size size = LaidOutAt(table, dpi);
                EXPECT_GE(size.width, before.width);
                EXPECT_GT(size.height, before.height);
                before = size;
                ++layouts;
            }
        }
    }
    SetUiLanguage(UiLanguage::English);
    // 16 dialogs (10 of them message boxes) x 5 languages x 4 DPIs.
    EXPECT_EQ(layouts, 16 * 5 * 4);
}

}  // namespace
}  // namespace tarvik
