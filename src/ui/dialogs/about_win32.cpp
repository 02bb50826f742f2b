#include "ui/dialogs/about_win32.h"

#include <string>

#include "string_ids.h"
#include "ui/dialog/dialog_view_win32.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/about.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

enum : uint16_t {
    kTextFrame = 100,
    kIcon = 101,
    kIconGap = 102,
    kTexts = 103,
    kVersion = 104,
    kVersionGap = 105,
    kLicence = 106,
    kNotice = 107,
    kLinkGap = 108,
    kWebLink = 109,
    kMailLink = 110,
    kButtonFrame = 111,
};

constexpr COLORREF kLinkColour = 0xFF0000;  // blue

intptr_t TextHandler(HWND dialog, uint16_t id, unsigned message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    WindowDialogView view(dialog);
    if (id == kVersion) {
        view.SetText(id, AboutVersionText());
        (void)SetBoldFont(dialog, id);
    } else {
        view.SetText(id, AboutNoticeText());
    }
    return FALSE;
}

intptr_t LinkHandler(HWND dialog, uint16_t id, unsigned message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_CTLCOLORSTATIC: {
            auto* dc = reinterpret_cast<HDC>(wParam);  // NOLINT(performance-no-int-to-ptr)
            ::SetTextColor(dc, kLinkColour);
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<intptr_t>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_COMMAND: {
            if (HIWORD(wParam) != STN_CLICKED) return FALSE;
            wchar_t text[kAboutLinkMaxChars + 1] = {};
            (void)UiGetDlgItemText(dialog, id, text, static_cast<int>(std::size(text)));
            (void)OpenAboutLink(WideToAnsi(text));
            return TRUE;
        }
        default: return FALSE;
    }
}

// clang-format off
constexpr DialogItem kAboutTable[] = {
    {&ctl::GroupRow,      kTextFrame,   u"",        0,                 0,            nullptr},
    {&ctl::Icon,          kIcon,        u"IconApp", 0,                 kTextFrame,   nullptr},
    {&ctl::Spacer,        kIconGap,     nullptr,    0,                 kTextFrame,   nullptr},
    {&ctl::Column,        kTexts,       nullptr,    0,                 kTextFrame,   nullptr},
    {&ctl::Label,         kVersion,     nullptr,    0,                 kTexts,       TextHandler},
    {&ctl::Spacer,        kVersionGap,  nullptr,    0,                 kTexts,       nullptr},
    {&ctl::Label,         kLicence,     nullptr,    IDS_ABOUT_LICENCE, kTexts,       nullptr},
    {&ctl::Label,         kNotice,      nullptr,    0,                 kTexts,       TextHandler},
    {&ctl::Spacer,        kLinkGap,     nullptr,    0,                 kTexts,       nullptr},
    {&ctl::Label,         kWebLink,     nullptr,    IDS_ABOUT_WEB,     kTexts,       LinkHandler},
    {&ctl::Label,         kMailLink,    nullptr,    IDS_ABOUT_EMAIL,   kTexts,       LinkHandler},
    {&ctl::GroupRow,      kButtonFrame, u"",        0,                 0,            nullptr},
    {&ctl::DefaultButton, IDOK,         nullptr,    IDS_OK,            kButtonFrame, nullptr},
};
// clang-format on

}  // namespace

void ShowAbout(HWND owner) {
    (void)RunDialog(owner, nullptr, IDS_MNU_ABOUT, WS_CAPTION | WS_SYSMENU, WS_EX_APPWINDOW,
                    kAboutTable, nullptr);
}

}  // namespace tarvik
