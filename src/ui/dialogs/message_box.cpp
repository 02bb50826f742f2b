#include "ui/dialogs/message_box.h"

#include "string_ids.h"

namespace tarvik {
namespace {

constexpr unsigned kMbOkCancel = 1;
constexpr unsigned kMbIconMask = 0xF0;  // MB_ICONERROR 0x10, MB_ICONQUESTION 0x20, ...
constexpr unsigned kMbTaskModal = 0x2000;
constexpr uint32_t kWsCaptionSysMenu = 0x00C80000;
constexpr uint32_t kWsExAppWindow = 0x00040000;

}  // namespace

MessageBoxDescription DescribeMessageBox(unsigned stringId, unsigned flags) {
    MessageBoxDescription d;
    // Cancel is the last row, so the OK-only box is the same table one row
    // shorter. Fixed buttons in a frame are spread evenly: one is centred.
    d.rows = {{
        {&ctl::GroupRow, kMsgTextFrame, u"", 0, 0, nullptr},
        {&ctl::Icon, kMsgIcon, u"IconApp", 0, kMsgTextFrame, nullptr},
        {&ctl::Spacer, kMsgIconGap, nullptr, 0, kMsgTextFrame, nullptr},
        {&ctl::Label, kMsgText, nullptr, stringId, kMsgTextFrame, nullptr},
        {&ctl::GroupRow, kMsgButtonFrame, u"", 0, 0, nullptr},
        {&ctl::DefaultButton, 1, nullptr, IDS_OK, kMsgButtonFrame, nullptr},
        {&ctl::Button, 2, nullptr, IDS_CANCEL, kMsgButtonFrame, nullptr},
    }};
    d.count = (flags & 0xF) == kMbOkCancel ? 7 : 6;
    d.style = kWsCaptionSysMenu;
    d.exStyle = (flags & kMbTaskModal) ? kWsExAppWindow : 0;
    // MessageBeep takes the icon's value for its sound: the button type
    // (flags & 0xF) would ask for the default beep, or none, for every box.
    d.beep = flags & kMbIconMask;
    return d;
}

}  // namespace tarvik
