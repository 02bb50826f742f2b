#pragma once
// The program's own message box as a dialog table: the program icon and the
// message side by side in one frame, OK (and Cancel) in a second frame.
#include <array>
#include <cstddef>
#include <cstdint>

#include "ui/dialog/dialog_table.h"

namespace tarvik {

inline constexpr char16_t kMessageBoxCaption[] = u"Tarvik 5.0";

// Row ids of the parts that are not buttons.
enum : uint32_t {
    kMsgTextFrame = 100,
    kMsgIcon = 101,
    kMsgIconGap = 102,
    kMsgText = 103,
    kMsgButtonFrame = 104,
};

struct MessageBoxDescription {
    std::array<DialogItem, 7> rows;
    std::size_t count = 0;  // 7 with Cancel, 6 with OK only
    uint32_t style = 0;
    uint32_t exStyle = 0;
    uint32_t beep = 0;  // for MessageBeep: the sound of the box's icon, 0 the default

    DialogTable table() const { return DialogTable(rows.data(), count); }
};

// `flags` are MessageBox flags: the button type (flags & 0xF) 1 adds Cancel,
// anything else gives OK only; MB_TASKMODAL gives the box its own taskbar
// button. The icon bits do not change the picture, only the sound.
MessageBoxDescription DescribeMessageBox(unsigned stringId, unsigned flags);

}  // namespace tarvik
