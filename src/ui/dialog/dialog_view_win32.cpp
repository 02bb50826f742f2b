#include "ui/dialog/dialog_view_win32.h"

#include <string>

#include "ui/text/text_api_win32.h"

namespace tarvik {

bool WindowDialogView::Checked(uint16_t id) const {
    return ::IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void WindowDialogView::SetChecked(uint16_t id, bool checked) {
    ::CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::u16string WindowDialogView::Text(uint16_t id) const {
    HWND control = ::GetDlgItem(dialog_, id);
    if (!control) return {};
    const std::wstring text = UiWindowText(control);
    return std::u16string(text.begin(), text.end());
}

void WindowDialogView::SetText(uint16_t id, std::u16string_view text) {
    const std::wstring wide(text.begin(), text.end());
    UiSetDlgItemText(dialog_, id, wide.c_str());
}

bool WindowDialogView::Enabled(uint16_t id) const {
    HWND control = ::GetDlgItem(dialog_, id);
    return control && ::IsWindowEnabled(control);
}

void WindowDialogView::Enable(uint16_t id, bool enabled) {
    if (HWND control = ::GetDlgItem(dialog_, id)) ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void WindowDialogView::Show(uint16_t id, bool shown) {
    if (HWND control = ::GetDlgItem(dialog_, id)) ::ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

}  // namespace tarvik
