#include "ui/message_box_win32.h"

namespace tarvik {

int MessageBoxRes(HWND owner, UINT stringId, UINT flags) {
    // Interim form: the system message box with the same caption, text and
    // flags. The program's own dialog replaces it once the dialog engine exists.
    wchar_t text[512] = {};
    if (!::LoadStringW(::GetModuleHandleW(nullptr), stringId, text, ARRAYSIZE(text))) text[0] = 0;
    ::MessageBeep(flags & 0xF);
    const int pressed = ::MessageBoxW(owner, text, L"Tarvik 5.0", flags);
    return pressed == IDOK ? IDOK : IDCANCEL;
}

}  // namespace tarvik
