#include "ui/dialogs/message_box_win32.h"

#include <iterator>

#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/message_box.h"

namespace tarvik {

namespace {

// The wide caption says what the portable one says.
constexpr bool SameCaption() {
    for (size_t i = 0; i < std::size(kProgramCaption); ++i)
        if (i >= std::size(kMessageBoxCaption) ||
            static_cast<char16_t>(kProgramCaption[i]) != kMessageBoxCaption[i])
            return false;
    return std::size(kProgramCaption) == std::size(kMessageBoxCaption);
}
static_assert(SameCaption());

}  // namespace

int MessageBoxRes(HWND owner, UINT stringId, UINT flags) {
    const MessageBoxDescription box = DescribeMessageBox(stringId, flags);
    ::MessageBeep(box.beep);
    const int pressed =
        RunDialog(owner, kProgramCaption, 0, box.style, box.exStyle, box.table(), nullptr);
    // Closed any other way (or never shown): as Cancel.
    return pressed == IDOK ? IDOK : IDCANCEL;
}

}  // namespace tarvik
