#include "ui/message_box_win32.h"

#include <iterator>
#include <string>

#include "ui/dialog_win32.h"
#include "ui/message_box.h"

namespace tarvik {

int MessageBoxRes(HWND owner, UINT stringId, UINT flags) {
    const MessageBoxDescription box = DescribeMessageBox(stringId, flags);
    const std::wstring caption(std::begin(kMessageBoxCaption), std::end(kMessageBoxCaption) - 1);
    ::MessageBeep(flags & 0xF);
    const int pressed =
        RunDialog(owner, caption.c_str(), 0, box.style, box.exStyle, box.table(), nullptr);
    // Closed any other way (or never shown): as Cancel.
    return pressed == IDOK ? IDOK : IDCANCEL;
}

}  // namespace tarvik
