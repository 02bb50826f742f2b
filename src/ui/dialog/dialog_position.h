#pragma once
// Where a dialog opens: sized to its content around its old centre, then
// moved so that the focused button sits just above and left of the mouse
// pointer, kept inside the work area of the monitor under the pointer.
#include <optional>

#include "ui/dialog/dialog_layout.h"

namespace tarvik {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Screen rectangle; right and bottom are exclusive, as in a RECT.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// The window resized to `outer`, its centre kept (halves truncate toward zero).
Rect ResizeKeepingCentre(const Rect& window, Size outer);

// WM_DPICHANGED: the window sized to `outer` around the centre of the
// rectangle the system suggests. Kept by its top left corner instead, a
// dialog dragged across a DPI border that comes out wider than suggested
// falls back across it, and flips between the two DPIs.
Rect PlaceForNewDpi(const Rect& suggested, Size outer);

// The window moved so that the focused control's exclusive corner lands one
// pixel above and left of the pointer (no focus: not moved), then pushed back
// inside the work area; when the window is larger than the work area, its
// top left corner stays inside.
Rect PlaceUnderPointer(const Rect& window, const std::optional<Rect>& focused, Point cursor,
                       const Rect& workArea);

// WM_GETMINMAXINFO: once both minimum sizes are known, the window may not be
// tracked smaller than them, and the largest tracking size is at least them.
// False (nothing changed) before that.
bool ApplyMinTrackSize(Size minimum, Point& minTrack, Point& maxTrack);

}  // namespace tarvik
