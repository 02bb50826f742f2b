#include "ui/dialog/dialog_position.h"

#include <algorithm>

namespace tarvik {

Rect ResizeKeepingCentre(const Rect& window, Size outer) {
    const int left = window.left - (outer.width - window.width()) / 2;
    const int top = window.top - (outer.height - window.height()) / 2;
    return {left, top, left + outer.width, top + outer.height};
}

Rect PlaceForNewDpi(const Rect& suggested, Size outer) {
    return ResizeKeepingCentre(suggested, outer);
}

Rect PlaceUnderPointer(const Rect& window, const std::optional<Rect>& focused, Point cursor,
                       const Rect& workArea) {
    int dx = 0, dy = 0;
    if (focused) {
        dx = cursor.x - focused->right - 1;
        dy = cursor.y - focused->bottom - 1;
    }
    if (window.right + dx > workArea.right) dx = workArea.right - window.right;
    if (window.bottom + dy > workArea.bottom) dy = workArea.bottom - window.bottom;
    const int left = std::max(window.left + dx, workArea.left);
    const int top = std::max(window.top + dy, workArea.top);
    return {left, top, left + window.width(), top + window.height()};
}

bool ApplyMinTrackSize(Size minimum, Point& minTrack, Point& maxTrack) {
    if (minimum.width == 0 || minimum.height == 0) return false;
    minTrack = {minimum.width, minimum.height};
    maxTrack.x = std::max(maxTrack.x, minimum.width);
    maxTrack.y = std::max(maxTrack.y, minimum.height);
    return true;
}

}  // namespace tarvik
