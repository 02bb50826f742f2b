#include "ui/dialogs/password_win32.h"

#include <iterator>
#include <string>

#include "settings/password_hash.h"
#include "string_ids.h"
#include "ui/dialog/dialog_view_win32.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/password.h"

namespace tarvik {
namespace {

PasswordContext* ContextOf(HWND dialog) {
    return static_cast<PasswordContext*>(DialogContext(dialog));
}

// A box's text as ANSI bytes (the hash is over those), in a buffer sized to
// the text and wiped when it goes; invalid when it could not be allocated.
SecretText ReadBox(HWND dialog, int id) {
    HWND box = ::GetDlgItem(dialog, id);
    const int length = box ? ::GetWindowTextLengthA(box) : 0;
    SecretText text(static_cast<size_t>(length > 0 ? length : 0));
    if (text.valid() && length > 0) (void)::GetDlgItemTextA(dialog, id, text.data(), length + 1);
    return text;
}

intptr_t BoxHandler(HWND dialog, uint16_t id, unsigned message, MsgWParam wParam, MsgLParam) {
    PasswordContext* context = ContextOf(dialog);
    if (!context) return FALSE;
    if (message == WM_INITDIALOG) {
        HWND box = ::GetDlgItem(dialog, id);
        ::SendMessageW(box, EM_LIMITTEXT, static_cast<WPARAM>(context->limit - 1), 0);
        ::SendMessageW(box, EM_SETPASSWORDCHAR, '*', 0);
        return FALSE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) {
        WindowDialogView view(dialog);
        OnPasswordBoxesChanged(*context, view, ReadBox(dialog, kPwdFirstBox),
                               ReadBox(dialog, kPwdSecondBox));
        return TRUE;
    }
    return FALSE;
}

intptr_t OkHandler(HWND dialog, uint16_t, unsigned message, MsgWParam, MsgLParam) {
    PasswordContext* context = ContextOf(dialog);
    if (!context) return FALSE;
    if (message == WM_INITDIALOG) {
        WindowDialogView view(dialog);
        InitPasswordDialog(*context, view);
        // After OK took the focus as the default button: typing starts in the box.
        ::SetFocus(::GetDlgItem(dialog, kPwdFirstBox));
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (OnPasswordOk(*context, ReadBox(dialog, kPwdFirstBox), ReadBox(dialog, kPwdSecondBox))) {
        case PasswordOk::End: ::EndDialog(dialog, IDOK); break;
        case PasswordOk::Wrong:
            ::SetDlgItemTextA(dialog, kPwdFirstBox, "");
            ::SetFocus(::GetDlgItem(dialog, kPwdFirstBox));
            ::MessageBeep(0);
            break;
        case PasswordOk::Mismatch: ::MessageBeep(0); break;
        case PasswordOk::Unreadable: break;
    }
    return TRUE;
}

int RunPasswordDialog(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle,
                      PasswordContext context) {
    const auto rows = PasswordDialogRows(BoxHandler, OkHandler);
    const UINT titleId = context.checkMode() ? IDS_ENTER_PASSWORD : IDS_NEW_PASSWORD;
    return RunDialog(parent, title, titleId, style, exStyle, rows, &context) == IDOK ? 1 : 0;
}

}  // namespace

int AskPassword(HWND parent, char* data, int capacity) {
    if (!data || capacity < 0) return 0;
    return RunPasswordDialog(parent, nullptr, WS_CAPTION, 0, {data, capacity, kPasswordLimit});
}

int ConfirmPassword(HWND window, const char* data) {
    if (!data) return 0;
    ::SetForegroundWindow(window);
    // Check mode only reads the stored text.
    return RunPasswordDialog(window, kProgramCaption, WS_CAPTION | WS_SYSMENU, WS_EX_APPWINDOW,
                             {const_cast<char*>(data), 0, kPasswordLimit});
}

}  // namespace tarvik
