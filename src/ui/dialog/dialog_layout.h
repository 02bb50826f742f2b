#pragma once
// Measuring and placing a dialog's controls: every control measures itself
// from its text, rows and columns add up their children, group boxes add a
// frame, and on every resize the free space is shared out to the controls
// that may stretch. Pure functions over the rows; what they need to know of
// fonts and live controls comes through TextMetrics.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/dialog/dialog_table.h"

namespace tarvik {

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A placed control: client coordinates of its top left corner and its size.
struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// What measuring needs to know about the live controls and their fonts.
class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    // The control's current window text.
    virtual std::u16string Text(uint16_t id) = 0;
    // Extent of one line of text in the control's font (its parent's when it has none).
    virtual Size TextExtent(uint16_t id, std::u16string_view line) = 0;
    // tmMaxCharWidth of the control's font.
    virtual int MaxCharWidth(uint16_t id) = 0;
    // LOGPIXELSX of the control's device context.
    virtual int Dpi(uint16_t id) = 0;
    // iScrollWidth / iScrollHeight of the non-client metrics; 0 when unknown.
    virtual int ScrollWidth() = 0;
    virtual int ScrollHeight() = 0;
    // Current size of an icon control (the system sized it to its icon).
    virtual Size IconSize(uint16_t id) = 0;
    // The list view's own estimate for five items; 0 x 0 when it has none.
    virtual Size ListViewSize(uint16_t id) = 0;
};

// One per table row, same order: the row's identity and what measuring found.
struct ItemState {
    uint16_t id = 0;
    uint16_t parent = 0;
    const ControlClass* cls = nullptr;
    ItemHandler handler = nullptr;
    int width = 0;
    int height = 0;
    StretchKind h = StretchKind::Fixed;
    StretchKind v = StretchKind::Fixed;
};

std::vector<ItemState> MakeItemStates(DialogTable table);

// Text extent: width of the widest line, height the sum of the line heights
// (lines end at U+000A; an empty line still adds a line height).
Size MeasureText(TextMetrics& metrics, uint16_t id, std::u16string_view text);

// GetDlgItemInt of an unsigned number: optional spaces, digits, optional
// spaces; 0 for anything else or a value beyond 32 bits.
unsigned ParseDlgInt(std::u16string_view text);

// Measures every item reachable from the root column (id 0) into `items`;
// the root's size, which is the dialog's client size.
Size MeasureDialog(std::span<ItemState> items, TextMetrics& metrics);

// Where one item goes. `move`: the control's window is moved there (the
// containers and spacers stay where the system created them). The handler,
// if any, is told the position and size either way.
struct Placement {
    std::size_t index = 0;
    Box box;
    bool move = false;
};

// Places the root column over the client area; in placing order. Group box
// captions are measured again, everything else keeps its measured size.
std::vector<Placement> PlaceDialog(std::span<const ItemState> items, TextMetrics& metrics,
                                   int clientWidth, int clientHeight);

// Applies a container's LayoutCode to its measured kinds.
void ApplyLayoutCode(unsigned code, StretchKind& h, StretchKind& v);

// The extent the hot key control is sized for.
inline constexpr std::u16string_view kHotKeySample = u"Ctrl + Shift + Alt + Page Down";

}  // namespace tarvik
