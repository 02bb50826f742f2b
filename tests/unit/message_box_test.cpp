// The program's message box as a table: which rows for which flags, and how
// it lays out with the dialog font of an ordinary screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "dialog_fakes.h"
#include "ui/dialog/dialog_layout.h"
#include "ui/dialogs/message_box.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

using testing::Inside;
using testing::Overlap;

TEST(MessageBoxTable, RowsStylesAndSoundFollowTheFlags) {
    struct Case {
        unsigned stringId, flags;
        std::size_t rows;
        uint32_t exStyle;
        uint32_t beep;  // MessageBeep: MB_ICONHAND 0x10, MB_ICONQUESTION 0x20, MB_ICONASTERISK 0x40
    };
    const Case cases[] = {
        {IDS_CANT_REGISTER_CLASS, 0x2010, 6, 0x00040000, 0x10},  // error, task-modal, OK
        {IDS_RESET_CONFIRM, 0x2021, 7, 0x00040000, 0x20},  // question, task-modal, OK and Cancel
        {IDS_RESTART_SESSION, 0x40, 6, 0, 0x40},           // information, OK
        {IDS_INSERT_DATA_DISK, 0x41, 7, 0, 0x40},
        {IDS_DETECTION_FAILED, 0, 6, 0, 0},        // no icon: the default beep
        {IDS_DETECTION_FAILED, 0x3, 6, 0, 0},      // other button types: OK only
        {IDS_DETECTION_FAILED, 0x31, 7, 0, 0x30},  // warning
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        const MessageBoxDescription box = DescribeMessageBox(c.stringId, c.flags);
        ASSERT_EQ(box.table().size(), c.rows);
        EXPECT_EQ(box.style, 0x00C80000u);
        EXPECT_EQ(box.exStyle, c.exStyle);
        EXPECT_EQ(box.beep, c.beep) << "the sound of the icon, not of the buttons";
        const auto& rows = box.table();
        const auto text = std::find_if(rows.begin(), rows.end(),
                                       [](const DialogItem& r) { return r.id == kMsgText; });
        ASSERT_NE(text, rows.end());
        EXPECT_EQ(text->stringId, c.stringId);
        EXPECT_EQ(text->text, nullptr);
        const bool hasOk =
            std::any_of(rows.begin(), rows.end(), [](const DialogItem& r) { return r.id == 1; });
        const bool hasCancel =
            std::any_of(rows.begin(), rows.end(), [](const DialogItem& r) { return r.id == 2; });
        EXPECT_TRUE(hasOk);
        EXPECT_EQ(hasCancel, c.rows == 7);
    }
}

// Lays the box out with a fake 8-point font; the placed boxes by id.
std::map<uint16_t, Box> Layout(unsigned stringId, unsigned flags, Size* client) {
    const MessageBoxDescription box = DescribeMessageBox(stringId, flags);
    testing::FakeFont font;
    font.widths = {{u" ", 3}, {u"OK", 14}, {u"Cancel", 33}};
    testing::FakeMetrics metrics(font);
    metrics.LoadTexts(box.table(), [](unsigned id) { return std::u16string(ResString(id)); });
    std::vector<ItemState> items = MakeItemStates(box.table());
    *client = MeasureDialog(items, metrics);
    std::map<uint16_t, Box> placed;
    for (const Placement& p : PlaceDialog(items, metrics, client->width, client->height))
        placed[items[p.index].id] = p.box;
    return placed;
}

TEST(MessageBoxLayout, OneButtonIsCentredUnderTheMessage) {
    Size client;
    const auto placed = Layout(IDS_CANT_REGISTER_CLASS, 0x2010, &client);
    const Box ok = placed.at(1);
    EXPECT_LE(std::abs(2 * ok.x + ok.width - client.width), 1);
    EXPECT_TRUE(Inside(ok, placed.at(kMsgButtonFrame)));
    EXPECT_TRUE(Inside(placed.at(kMsgIcon), placed.at(kMsgTextFrame)));
    EXPECT_TRUE(Inside(placed.at(kMsgText), placed.at(kMsgTextFrame)));
    EXPECT_FALSE(Overlap(placed.at(kMsgIcon), placed.at(kMsgText)));
    EXPECT_FALSE(Overlap(placed.at(kMsgTextFrame), placed.at(kMsgButtonFrame)));
    EXPECT_EQ(client.width, placed.at(kMsgTextFrame).width);
}

TEST(MessageBoxLayout, TwoButtonsShareTheWidthEvenly) {
    Size client;
    const auto placed = Layout(IDS_RESET_CONFIRM, 0x2021, &client);
    const Box ok = placed.at(1), cancel = placed.at(2), frame = placed.at(kMsgButtonFrame);
    EXPECT_FALSE(Overlap(ok, cancel));
    EXPECT_EQ(ok.width, cancel.width);
    const int before = ok.x - (frame.x + 9);
    const int between = cancel.x - (ok.x + ok.width);
    const int after = frame.x + frame.width - 9 - (cancel.x + cancel.width);
    EXPECT_GT(between, 0);
    EXPECT_LE(std::abs(between - 2 * before), 2);
    EXPECT_LE(std::abs(before - after), 2);
}

}  // namespace
}  // namespace tarvik
