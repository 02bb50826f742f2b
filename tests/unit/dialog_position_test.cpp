// Where a dialog opens: resized about its centre, its focused button's corner
// just above and left of the pointer, kept inside the work area; and the
// smallest size a resizable dialog may be dragged to.
#include <gtest/gtest.h>

#include "ui/dialog/dialog_position.h"

namespace tarvik {
namespace {

TEST(DialogPosition, ResizeKeepsTheCentreTruncatingHalves) {
    struct Case {
        Rect window;
        Size outer;
        Rect expected;
    };
    const Case cases[] = {
        {{100, 100, 200, 200}, {150, 120}, {75, 90, 225, 210}},
        {{100, 100, 200, 200}, {101, 101}, {100, 100, 201, 201}},  // +1: half is 0
        {{100, 100, 200, 200}, {51, 49}, {124, 125, 175, 174}},    // -49 / 2 = -24
        {{-10, -10, 90, 90}, {100, 100}, {-10, -10, 90, 90}},
    };
    for (const Case& c : cases) EXPECT_EQ(ResizeKeepingCentre(c.window, c.outer), c.expected);
}

// Dragged across x = 1920, between a 144-DPI monitor and a 96-DPI one, a
// dialog grown or shrunk by its new layout stays on the new DPI's side.
TEST(DialogPosition, ANewDpiKeepsTheCentreOfTheSuggestedPlace) {
    constexpr int kBorder = 1920;
    const Rect right{1800, 300, 2060, 500};  // centre 1930: on the 96-DPI monitor
    const Rect left{1770, 300, 2060, 500};   // centre 1915: on the 144-DPI one
    for (const Size outer : {Size{200, 150}, Size{340, 260}, Size{260, 200}}) {
        const Rect r = PlaceForNewDpi(right, outer);
        EXPECT_GE((r.left + r.right) / 2, kBorder) << outer.width << " fell back to the left";
        const Rect l = PlaceForNewDpi(left, outer);
        EXPECT_LT((l.left + l.right) / 2, kBorder) << outer.width << " fell back to the right";
        EXPECT_EQ(l.width(), outer.width);
        EXPECT_EQ(l.height(), outer.height);
    }
}

TEST(DialogPosition, FocusedCornerJustAboveAndLeftOfThePointerInsideTheWorkArea) {
    const Rect screen{0, 0, 1024, 768};
    const Rect window{100, 100, 300, 200};  // 200 x 100
    const Rect button{130, 150, 222, 173};
    struct Case {
        const char* name;
        std::optional<Rect> focused;
        Point cursor;
        Rect work;
        Rect expected;
    };
    const Case cases[] = {
        {"room everywhere: the button ends at the pointer minus 1",
         button,
         {500, 400},
         screen,
         {377, 326, 577, 426}},
        {"too far right and down: pushed back to the edges",
         button,
         {1020, 760},
         screen,
         {824, 668, 1024, 768}},
        {"no focused control: only kept inside", std::nullopt, {500, 400}, screen, window},
        {"work area of a second monitor: the left edge holds",
         button,
         {1100, 300},
         {1024, 30, 2048, 768},
         {1024, 226, 1224, 326}},
        {"above the work area's top: the top edge holds",
         button,
         {500, 40},
         {0, 30, 1024, 768},
         {377, 30, 577, 130}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rect placed = PlaceUnderPointer(window, c.focused, c.cursor, c.work);
        EXPECT_EQ(placed, c.expected);
        EXPECT_EQ(placed.width(), window.width());
        EXPECT_EQ(placed.height(), window.height());
    }
}

TEST(DialogPosition, LargerThanTheWorkAreaTheTopLeftCornerWins) {
    const Rect placed = PlaceUnderPointer({0, 0, 1200, 900}, Rect{1000, 800, 1092, 823}, {500, 400},
                                          {0, 0, 1024, 768});
    EXPECT_EQ(placed, (Rect{0, 0, 1200, 900}));
}

TEST(DialogPosition, MinimumTrackingSizeOnlyOnceKnown) {
    Point minTrack{10, 10}, maxTrack{1000, 800};
    EXPECT_FALSE(ApplyMinTrackSize({0, 0}, minTrack, maxTrack));
    EXPECT_FALSE(ApplyMinTrackSize({300, 0}, minTrack, maxTrack));
    EXPECT_EQ(minTrack, (Point{10, 10}));
    EXPECT_TRUE(ApplyMinTrackSize({300, 200}, minTrack, maxTrack));
    EXPECT_EQ(minTrack, (Point{300, 200}));
    EXPECT_EQ(maxTrack, (Point{1000, 800}));
    maxTrack = {100, 100};
    EXPECT_TRUE(ApplyMinTrackSize({300, 200}, minTrack, maxTrack));
    EXPECT_EQ(maxTrack, (Point{300, 200}));
}

}  // namespace
}  // namespace tarvik
