// The layout engine: the eject countdown measured and placed to the pixel
// (and 30 pixels wider), the share-out of free space and the layout codes,
// the measuring rule of every class at 96 and 144 pixels per inch.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "dialog_fakes.h"
#include "ui/dialog/dialog_layout.h"

namespace tarvik {
namespace {

using testing::FakeFont;
using testing::FakeMetrics;
using K = StretchKind;

constexpr K F = K::Fixed, E = K::Expand, L = K::Fill;

// The eject countdown, with the texts its handlers and the string table give.
// clang-format off
const DialogItem kCountdown[] = {
    {&ctl::GroupColumn,   101, u"",           0, 0,   nullptr},
    {&ctl::Label,         102, u"D: Drive",   0, 101, nullptr},
    {&ctl::Row,           103, u"1",          0, 101, nullptr},
    {&ctl::Label,         104, u"Time left:", 0, 103, nullptr},
    {&ctl::Spacer,        105, nullptr,       0, 103, nullptr},
    {&ctl::LabelRight,    106, u"00",         0, 103, nullptr},
    {&ctl::GroupRow,      107, u"",           0, 0,   nullptr},
    {&ctl::DefaultButton, 1,   u"Eject",      0, 107, nullptr},
    {&ctl::Spacer,        108, nullptr,       0, 107, nullptr},
    {&ctl::Button,        2,   u"Cancel",     0, 107, nullptr},
};
// clang-format on

FakeFont CountdownFont() {
    FakeFont f;
    f.widths = {{u" ", 3},      {u"Time left:", 48}, {u"00", 12},
                {u"Eject", 25}, {u"Cancel", 33},     {u"D: Drive", 40}};
    return f;
}

struct Measure {
    int width, height;
    K h, v;
};

class Countdown : public ::testing::Test {
protected:
    void SetUp() override {
        metrics_.LoadTexts(kCountdown);
        items_ = MakeItemStates(kCountdown);
        content_ = MeasureDialog(items_, metrics_);
    }
    std::map<uint16_t, Placement> Place(int width, int height) {
        std::map<uint16_t, Placement> byId;
        for (const Placement& p : PlaceDialog(items_, metrics_, width, height)) {
            EXPECT_FALSE(byId.contains(items_[p.index].id)) << "placed twice: " << p.index;
            byId[items_[p.index].id] = p;
        }
        return byId;
    }

    FakeMetrics metrics_{CountdownFont()};
    std::vector<ItemState> items_;
    Size content_;
};

TEST_F(Countdown, EveryRowMeasuresAsTheWorkedExample) {
    const Measure expected[] = {
        {87, 40, L, L},   // group box: empty caption 3 x 10, frame 18 x 14
        {40, 13, F, F},   // drive text
        {69, 13, F, F},   // row "1": code 1 overrides the Fill of "00"
        {48, 13, F, F},   // "Time left:"
        {9, 9, F, F},     // spacer
        {12, 13, L, F},   // "00"
        {211, 37, L, L},  // group box around the buttons
        {92, 23, F, F},   // "Eject": max(25 + 10, 4 x 23)
        {9, 9, F, F},     // spacer
        {92, 23, F, F},   // "Cancel"
    };
    ASSERT_EQ(items_.size(), std::size(expected));
    for (std::size_t i = 0; i < items_.size(); ++i) {
        SCOPED_TRACE(items_[i].id);
        EXPECT_EQ(items_[i].width, expected[i].width);
        EXPECT_EQ(items_[i].height, expected[i].height);
        EXPECT_EQ(items_[i].h, expected[i].h);
        EXPECT_EQ(items_[i].v, expected[i].v);
    }
    EXPECT_EQ(content_, (Size{211, 77}));
}

struct Expected {
    uint16_t id;
    Box box;
    bool move;
};

void ExpectPlaced(const std::map<uint16_t, Placement>& placed, std::span<const Expected> expected) {
    EXPECT_EQ(placed.size(), expected.size());
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.id);
        ASSERT_TRUE(placed.contains(e.id));
        const Placement& p = placed.at(e.id);
        EXPECT_EQ(p.box, e.box);
        EXPECT_EQ(p.move, e.move);
    }
}

TEST_F(Countdown, PlacedAtItsOwnSizeEveryRectangleIsTheWorkedExample) {
    const Expected expected[] = {
        {101, {0, 0, 211, 40}, true},  {102, {9, 10, 40, 13}, true}, {103, {9, 23, 69, 13}, false},
        {104, {9, 23, 48, 13}, true},  {105, {57, 23, 9, 9}, false}, {106, {66, 23, 12, 13}, true},
        {107, {0, 40, 211, 37}, true}, {1, {9, 50, 92, 23}, true},   {108, {101, 50, 9, 9}, false},
        {2, {110, 50, 92, 23}, true},
    };
    ExpectPlaced(Place(211, 77), expected);
}

TEST_F(Countdown, ThirtyPixelsWiderTheButtonsSpreadAndTheRestStaysLeft) {
    // Share 10: half a share before Eject, a full one between the slots.
    const Expected expected[] = {
        {101, {0, 0, 241, 40}, true},  {102, {9, 10, 40, 13}, true}, {103, {9, 23, 69, 13}, false},
        {104, {9, 23, 48, 13}, true},  {105, {57, 23, 9, 9}, false}, {106, {66, 23, 12, 13}, true},
        {107, {0, 40, 241, 37}, true}, {1, {14, 50, 92, 23}, true},  {108, {116, 50, 9, 9}, false},
        {2, {135, 50, 92, 23}, true},
    };
    ExpectPlaced(Place(241, 77), expected);
}

TEST_F(Countdown, GroupCaptionsAreMeasuredAgainAtEveryPlacement) {
    const int before = metrics_.extentCalls;
    (void)Place(211, 77);
    EXPECT_EQ(metrics_.extentCalls - before, 2);  // the two empty captions, nothing else
    // A caption that grew since the dialog opened pushes the group's contents down.
    metrics_.SetText(101, u"Time");
    const auto placed = Place(211, 77);
    EXPECT_EQ(placed.at(102).box, (Box{9, 13, 40, 13}));
}

// ---- share-out ------------------------------------------------------------------

struct Child {
    int width, height;
    K h, v;
};

struct ShareCase {
    const char* name;
    bool row;
    Box box;
    std::vector<Child> children;
    std::vector<Box> expected;
};

// clang-format off
const ShareCase kShareCases[] = {
    {"row of Fixed: half a share, full shares, half a share", true, {0, 0, 60, 10},
     {{10, 10, F, F}, {10, 10, F, F}, {10, 10, F, F}},
     {{5, 0, 10, 10}, {25, 0, 10, 10}, {45, 0, 10, 10}}},
    {"column of 3 Expand, 7 extra: 3, 2, 2", false, {0, 0, 10, 37},
     {{10, 10, F, E}, {10, 10, F, E}, {10, 10, F, E}},
     {{0, 0, 10, 13}, {0, 13, 10, 12}, {0, 25, 10, 12}}},
    {"row of 3 Fill, 7 extra: 2 each, last pixel unused", true, {0, 0, 37, 10},
     {{10, 10, L, F}, {10, 10, L, F}, {10, 10, L, F}},
     {{0, 0, 12, 10}, {12, 0, 12, 10}, {24, 0, 12, 10}}},
    {"Expand takes it all; Fill keeps its size beside it", true, {0, 0, 50, 10},
     {{10, 10, L, F}, {10, 10, E, F}, {10, 10, F, F}},
     {{0, 0, 10, 10}, {10, 0, 30, 10}, {40, 0, 10, 10}}},
    {"column of Fixed: centred by half a share, at the left edge", false, {4, 0, 40, 30},
     {{10, 10, F, F}, {20, 10, F, F}},
     {{4, 2, 10, 10}, {4, 17, 20, 10}}},
    {"column remainder goes to the first children, whatever their kind", false, {0, 0, 10, 35},
     {{10, 10, F, F}, {10, 10, F, E}, {10, 10, F, E}},
     {{0, 0, 10, 10}, {0, 11, 10, 12}, {0, 23, 10, 12}}},
    {"row across: Fill is as high as the row, Fixed keeps its place", true, {0, 0, 20, 30},
     {{10, 10, F, F}, {10, 10, F, L}},
     {{0, 0, 10, 10}, {10, 0, 10, 30}}},
    {"row across: all Fixed are centred vertically on the tallest", true, {0, 0, 20, 30},
     {{10, 10, F, F}, {10, 20, F, F}},
     {{0, 5, 10, 10}, {10, 5, 10, 20}}},
    {"column across: non-Fixed is as wide as the column", false, {0, 0, 50, 20},
     {{10, 10, E, F}, {10, 10, F, F}},
     {{0, 0, 50, 10}, {0, 10, 10, 10}}},
    {"row narrower than its children: Expand shrinks", true, {0, 0, 30, 10},
     {{20, 10, E, F}, {20, 10, E, F}},
     {{0, 0, 15, 10}, {15, 0, 15, 10}}},
    {"empty container places nothing", true, {0, 0, 30, 10}, {}, {}},
};
// clang-format on

TEST(ShareOut, FreeSpaceGoesWhereTheKindsSay) {
    for (const ShareCase& c : kShareCases) {
        SCOPED_TRACE(c.name);
        std::vector<ItemState> items;
        // The container under test fills the root column, so it gets `box`.
        ItemState container;
        container.id = 50;
        container.cls = c.row ? &ctl::Row : &ctl::Column;
        container.width = c.box.width, container.height = c.box.height;
        container.h = container.v = K::Expand;
        items.push_back(container);
        // An offset in the root row places the container at box.x.
        if (c.box.x) {
            items.insert(items.begin(), ItemState{49, 0, &ctl::Label, nullptr, c.box.x, 0, F, F});
            items[0].cls = &ctl::Spacer;
            items[1].parent = 51;
            items.insert(items.begin(), ItemState{51, 0, &ctl::Row, nullptr, 0, 0, E, E});
            items[1].parent = 51;
        }
        uint16_t id = 1;
        for (const Child& ch : c.children)
            items.push_back({id++, 50, &ctl::Label, nullptr, ch.width, ch.height, ch.h, ch.v});
        FakeMetrics metrics{FakeFont{}};
        const auto placed = PlaceDialog(items, metrics, c.box.x + c.box.width, c.box.height);
        std::vector<Box> boxes;
        for (const Placement& p : placed)
            if (items[p.index].parent == 50) boxes.push_back(p.box);
        ASSERT_EQ(boxes.size(), c.expected.size());
        for (std::size_t i = 0; i < boxes.size(); ++i) EXPECT_EQ(boxes[i], c.expected[i]) << i;
    }
}

// ---- layout codes ---------------------------------------------------------------

struct CodeCase {
    const char16_t* text;
    const ControlClass* child;
    K h, v;
};

// clang-format off
const CodeCase kCodeCases[] = {
    {u"",    &ctl::LabelRight, L, F},  // no code: the children's kinds
    {u"0",   &ctl::LabelRight, L, F},
    {u"1",   &ctl::LabelRight, F, F},
    {u"2",   &ctl::LabelRight, E, E},
    {u"3",   &ctl::LabelRight, E, F},  // a code sets only the axes it names
    {u"4",   &ctl::LabelRight, L, E},
    {u"5",   &ctl::Label,      L, L},
    {u"6",   &ctl::Label,      L, F},
    {u"7",   &ctl::LabelRight, L, L},
    {u"8",   &ctl::LabelRight, L, F},  // unknown code: kept
    {u" 3 ", &ctl::Label,      E, F},  // read as GetDlgItemInt reads it
    {u"3x",  &ctl::Label,      F, F},  // not a number: 0
    {u"1",   &ctl::ListView,   F, F},
    {u"",    &ctl::ListView,   E, E},  // Expand wins over Fill and Fixed
    {u"",    &ctl::Edit,       L, F},
};
// clang-format on

TEST(LayoutCode, ContainerKindsFollowChildrenThenTheCode) {
    for (const CodeCase& c : kCodeCases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        const DialogItem table[] = {
            {&ctl::Row, 10, c.text, 0, 0, nullptr},
            {&ctl::Label, 11, u"a", 0, 10, nullptr},
            {c.child, 12, u"b", 0, 10, nullptr},
        };
        FakeMetrics metrics{FakeFont{}};
        metrics.LoadTexts(table);
        std::vector<ItemState> items = MakeItemStates(table);
        (void)MeasureDialog(items, metrics);
        EXPECT_EQ(items[0].h, c.h);
        EXPECT_EQ(items[0].v, c.v);
    }
}

TEST(LayoutCode, ParseDlgIntReadsWhatGetDlgItemIntReads) {
    const std::pair<const char16_t*, unsigned> cases[] = {
        {u"", 0},
        {u"7", 7},
        {u"  240", 240},
        {u"240  ", 240},
        {u"-1", 0},
        {u"12a", 0},
        {u"4294967295", 4294967295u},
        {u"4294967296", 0},
        {u"99999999999999999999", 0},
        {u" ", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(ParseDlgInt(text), value) << std::u16string(text).size();
}

TEST(LayoutGuard, AnItemThatContainsItselfDoesNotRecurseForEver) {
    const DialogItem table[] = {
        {&ctl::GroupRow, 10, u"", 0, 0, nullptr},
        {&ctl::GroupColumn, 10, u"", 0, 10, nullptr},  // same id as its container
        {&ctl::Label, 11, u"x", 0, 10, nullptr},
    };
    FakeMetrics metrics{FakeFont{}};
    metrics.LoadTexts(table);
    std::vector<ItemState> items = MakeItemStates(table);
    const Size content = MeasureDialog(items, metrics);
    EXPECT_GT(content.width, 0);
    EXPECT_FALSE(PlaceDialog(items, metrics, content.width, content.height).empty());
}

TEST(LayoutGuard, RowsSharingIdsInACycleAreMeasuredAndPlacedOnce) {
    // Two containers that hold each other twice over: every level of the
    // cycle doubles, so only the depth bound would take 2^32 steps.
    const DialogItem table[] = {
        {&ctl::Column, 1, u"", 0, 0, nullptr}, {&ctl::Row, 2, u"", 0, 1, nullptr},
        {&ctl::Row, 2, u"", 0, 1, nullptr},    {&ctl::Column, 1, u"", 0, 2, nullptr},
        {&ctl::Column, 1, u"", 0, 2, nullptr}, {&ctl::Label, 3, u"x", 0, 1, nullptr},
    };
    FakeMetrics metrics{FakeFont{}};
    metrics.LoadTexts(table);
    std::vector<ItemState> items = MakeItemStates(table);
    const Size content = MeasureDialog(items, metrics);
    EXPECT_GE(content.width, 6);        // the label is in it
    EXPECT_EQ(metrics.extentCalls, 1);  // and was measured once
    const std::vector<Placement> placed = PlaceDialog(items, metrics, 100, 100);
    EXPECT_LE(placed.size(), std::size(table));
}

// ---- measuring rules --------------------------------------------------------------

FakeFont Font96() {
    FakeFont f;
    f.widths = {{u" ", 3},
                {u"  ", 6},
                {u"OK", 14},
                {u"Cancel", 33},
                {u"Lock tray", 46},
                {u"Delay (seconds):", 80},
                {u"15", 12},
                {u"Speed\tCommand", 70},
                {std::u16string(kHotKeySample), 160},
                {u"Line one", 40},
                {u"Longer line two", 75},
                {u"a", 7},
                {u"WIDE", 600}};
    return f;
}

FakeFont Font144() {
    FakeFont f;
    f.dpi = 144, f.lineHeight = 20, f.maxCharWidth = 24, f.scrollWidth = 26, f.scrollHeight = 26;
    f.icon = {48, 48};
    f.widths = {{u" ", 5},
                {u"  ", 10},
                {u"OK", 21},
                {u"Cancel", 50},
                {u"Lock tray", 69},
                {u"Delay (seconds):", 120},
                {u"15", 18},
                {u"Speed\tCommand", 105},
                {std::u16string(kHotKeySample), 240},
                {u"Line one", 60},
                {u"Longer line two", 112},
                {u"a", 10},
                {u"WIDE", 900}};
    return f;
}

std::u16string ManyLines(int n) {
    std::u16string s;
    for (int i = 0; i < n; ++i) s += i ? u"\na" : u"a";
    return s;
}

struct RuleCase {
    const char* name;
    const ControlClass* cls;
    std::u16string text;
    Measure at96;
    Measure at144;
    Size listView{};
};

const std::u16string kTwoLines = u"Line one\n\nLonger line two";

// clang-format off
const RuleCase kRuleCases[] = {
    {"compact button: 8h/5 wins at 144", &ctl::SmallButton, u"OK", {24, 23, F, F}, {32, 32, F, F}},
    {"button: four times as wide as high", &ctl::Button, u"Cancel", {92, 23, F, F}, {128, 32, F, F}},
    {"default button", &ctl::DefaultButton, u"OK", {92, 23, F, F}, {128, 32, F, F}},
    {"check box: mark from the pixels per inch", &ctl::CheckBox, u"Lock tray", {68, 14, F, F}, {98, 20, F, F}},
    {"radio", &ctl::Radio, u"Lock tray", {68, 14, F, F}, {98, 20, F, F}},
    {"edit: one more character", &ctl::Edit, u"15", {24, 19, L, F}, {33, 26, L, F}},
    {"edit right", &ctl::EditRight, u"15", {24, 19, L, F}, {33, 26, L, F}},
    {"empty edit: two spaces, at least its height", &ctl::Edit, u"", {19, 19, L, F}, {26, 26, L, F}},
    {"hot key: the longest key name", &ctl::HotKey, u"", {166, 19, L, F}, {246, 26, L, F}},
    {"label", &ctl::Label, u"Delay (seconds):", {80, 13, F, F}, {120, 20, F, F}},
    {"label of three lines, one empty", &ctl::Label, kTwoLines, {75, 39, F, F}, {112, 60, F, F}},
    {"empty label", &ctl::Label, u"", {0, 0, F, F}, {0, 0, F, F}},
    {"right label", &ctl::LabelRight, u"15", {12, 13, L, F}, {18, 20, L, F}},
    {"centred label", &ctl::LabelCenter, u"15", {12, 13, L, F}, {18, 20, L, F}},
    {"small icon", &ctl::SmallIcon, u"IconApp", {16, 16, F, F}, {16, 16, F, F}},
    {"icon: its own window size", &ctl::Icon, u"IconApp", {32, 32, F, F}, {48, 48, F, F}},
    {"spacer", &ctl::Spacer, u"", {9, 9, F, F}, {9, 9, F, F}},
    {"progress without width", &ctl::Progress, u"", {100, 17, L, F}, {100, 26, L, F}},
    {"progress 240", &ctl::Progress, u"240", {240, 17, L, F}, {240, 26, L, F}},
    {"list view from its titles", &ctl::ListView, u"Speed\tCommand", {123, 108, E, E}, {167, 164, E, E}},
    {"list view's own estimate", &ctl::ListView, u"Speed\tCommand", {221, 94, E, E}, {230, 94, E, E}, {200, 90}},
    {"rich text", &ctl::RichText, kTwoLines, {109, 61, E, E}, {146, 82, E, E}},
    {"rich text: at most 512 wide", &ctl::RichText, u"WIDE", {512, 52, E, E}, {512, 68, E, E}},
    {"rich text: at most 384 high", &ctl::RichText, ManyLines(30), {58, 384, E, E}, {70, 384, E, E}},
};
// clang-format on

TEST(MeasureRules, EveryClassAt96And144PixelsPerInch) {
    for (const RuleCase& c : kRuleCases) {
        for (int dpi : {96, 144}) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(dpi));
            FakeFont font = dpi == 96 ? Font96() : Font144();
            font.listView = c.listView;
            FakeMetrics metrics(font);
            const DialogItem table[] = {{c.cls, 20, c.text.c_str(), 0, 0, nullptr}};
            metrics.LoadTexts(table);
            std::vector<ItemState> items = MakeItemStates(table);
            (void)MeasureDialog(items, metrics);
            const Measure& want = dpi == 96 ? c.at96 : c.at144;
            EXPECT_EQ(items[0].width, want.width);
            EXPECT_EQ(items[0].height, want.height);
            EXPECT_EQ(items[0].h, want.h);
            EXPECT_EQ(items[0].v, want.v);
        }
    }
}

TEST(MeasureRules, GroupBoxWithCaptionFramesItsChildren) {
    const DialogItem table[] = {
        {&ctl::GroupRow, 30, u"Delay (seconds):", 0, 0, nullptr},
        {&ctl::Label, 31, u"15", 0, 30, nullptr},
        {&ctl::Edit, 32, u"15", 0, 30, nullptr},
    };
    FakeMetrics metrics(Font96());
    metrics.LoadTexts(table);
    std::vector<ItemState> items = MakeItemStates(table);
    const Size content = MeasureDialog(items, metrics);
    // Caption 80 wider than the children (12 + 24): width from the caption.
    EXPECT_EQ(content, (Size{98, 19 + 13 + 4}));
    EXPECT_EQ(items[0].h, K::Fill);  // the Edit's Fill, not turned into anything else
    EXPECT_EQ(items[0].v, K::Fill);  // Fixed becomes Fill
    const auto placed = PlaceDialog(items, metrics, 98, 36);
    EXPECT_EQ(placed[0].box, (Box{9, 13, 12, 13}));   // all Fixed across: same top
    EXPECT_EQ(placed[1].box, (Box{21, 13, 68, 19}));  // the edit takes the free width
}

TEST(MeasureText, WidestLineAndEveryLineHeight) {
    FakeMetrics metrics(Font96());
    EXPECT_EQ(MeasureText(metrics, 0, u"Line one"), (Size{40, 13}));
    EXPECT_EQ(MeasureText(metrics, 0, kTwoLines), (Size{75, 39}));
    EXPECT_EQ(MeasureText(metrics, 0, u"Line one\n"), (Size{40, 26}));
    EXPECT_EQ(MeasureText(metrics, 0, u"\n"), (Size{0, 26}));
}

}  // namespace
}  // namespace tarvik
