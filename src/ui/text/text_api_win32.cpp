#include "ui/text/text_api_win32.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/late_bound_win32.h"
#include "platform/system.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

constexpr uint32_t kPlatformNt = 2;  // VER_PLATFORM_WIN32_NT

int g_unicode = 0;

// Copies ANSI text into a wide buffer of `capacity` units: cut at a
// character boundary on both sides of the conversion, always terminated.
void AnsiIntoWide(const char* ansi, std::size_t bytes, wchar_t* out, int capacity) {
    if (capacity <= 0) return;
    const std::size_t whole =
        AnsiPrefixLength(std::string_view(ansi, bytes), bytes, IsAnsiLeadByte);
    const std::wstring wide = AnsiToWide(ansi, static_cast<int>(whole));
    WStrAppendUnits(out, out + capacity, wide.data(), wide.size());
}

// ---- wide forms ------------------------------------------------------------

BOOL WideGetVolumeLabel(const wchar_t* root, wchar_t* label, DWORD capacity) {
    return ::GetVolumeInformationW(root, label, capacity, nullptr, nullptr, nullptr, nullptr, 0);
}
BOOL WideShellNotifyIcon(DWORD message, NOTIFYICONDATAW* data) {
    const auto notify = late::Shell_NotifyIconW();
    return notify ? notify(message, data) : FALSE;
}
int WideGetWindowTextLength(HWND window) { return ::GetWindowTextLengthW(window); }
UINT WideGetDlgItemText(HWND dialog, int id, wchar_t* buffer, int capacity) {
    return ::GetDlgItemTextW(dialog, id, buffer, capacity);
}
BOOL WideSetDlgItemText(HWND dialog, int id, const wchar_t* text) {
    return ::SetDlgItemTextW(dialog, id, text);
}
BOOL WideInsertMenuItem(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOW* info) {
    return ::InsertMenuItemW(menu, item, byPosition, info);
}
HWND WideCreateDialog(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent, DLGPROC proc,
                      LPARAM init) {
    return ::CreateDialogIndirectParamW(instance, tmpl, parent, proc, init);
}
INT_PTR WideDialogBox(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent, DLGPROC proc,
                      LPARAM init) {
    return ::DialogBoxIndirectParamW(instance, tmpl, parent, proc, init);
}
BOOL WideGetNonClientMetrics(NONCLIENTMETRICSW* metrics) {
    metrics->cbSize = kNonClientMetricsSizeW;
    return ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSizeW, metrics, 0);
}

// ---- ANSI forms --------------------------------------------------------------

BOOL AnsiGetVolumeLabel(const wchar_t* root, wchar_t* label, DWORD capacity) {
    const std::string rootA = WideToAnsi(root);
    if (rootA.empty() || capacity == 0) return FALSE;
    std::vector<char> labelA(capacity, '\0');
    if (!::GetVolumeInformationA(rootA.c_str(), labelA.data(), capacity, nullptr, nullptr, nullptr,
                                 nullptr, 0))
        return FALSE;
    AnsiIntoWide(labelA.data(), strnlen(labelA.data(), capacity), label,
                 static_cast<int>(capacity));
    return TRUE;
}

BOOL AnsiShellNotifyIcon(DWORD message, NOTIFYICONDATAW* data) {
    NOTIFYICONDATAA a{};
    a.cbSize = kNotifyIconDataSizeA;
    a.hWnd = data->hWnd;
    a.uID = data->uID;
    a.uFlags = data->uFlags;
    a.uCallbackMessage = data->uCallbackMessage;
    a.hIcon = data->hIcon;
    if (data->uFlags & NIF_TIP) {
        // A double-byte code page can need two bytes a character: cut the
        // converted tip where a character ends, with room for the NUL.
        const std::wstring tip(data->szTip, wcsnlen(data->szTip, ARRAYSIZE(data->szTip)));
        const std::string tipA = WideToAnsi(tip.c_str());
        const std::size_t n = AnsiPrefixLength(tipA, sizeof(a.szTip) - 1, IsAnsiLeadByte);
        std::memcpy(a.szTip, tipA.data(), n);
        a.szTip[n] = '\0';
    }
    return ::Shell_NotifyIconA(message, &a);
}

int AnsiGetWindowTextLength(HWND window) { return ::GetWindowTextLengthA(window); }

UINT AnsiGetDlgItemText(HWND dialog, int id, wchar_t* buffer, int capacity) {
    if (capacity <= 0) return 0;
    std::vector<char> textA(static_cast<std::size_t>(capacity), '\0');
    const UINT n = ::GetDlgItemTextA(dialog, id, textA.data(), capacity);
    AnsiIntoWide(textA.data(), strnlen(textA.data(), static_cast<std::size_t>(capacity)), buffer,
                 capacity);
    return n;
}

BOOL AnsiSetDlgItemText(HWND dialog, int id, const wchar_t* text) {
    const std::string textA = WideToAnsi(text);
    if (textA.empty() && text && *text) return FALSE;
    return ::SetDlgItemTextA(dialog, id, textA.c_str());
}

// Only a string item carries text in dwTypeData; for a bitmap or owner-drawn
// item it is a handle or the caller's value and passes through untouched.
bool CarriesString(const MENUITEMINFOW* info) {
    if (info->fMask & MIIM_STRING) return true;
    return (info->fMask & MIIM_TYPE) &&
           !(info->fType & (MFT_BITMAP | MFT_SEPARATOR | MFT_OWNERDRAW));
}

BOOL AnsiInsertMenuItem(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOW* info) {
    MENUITEMINFOA a{};
    a.cbSize = sizeof(a);
    a.fMask = info->fMask;
    a.fType = info->fType;
    a.fState = info->fState;
    a.wID = info->wID;
    a.hSubMenu = info->hSubMenu;
    a.hbmpChecked = info->hbmpChecked;
    a.hbmpUnchecked = info->hbmpUnchecked;
    a.dwItemData = info->dwItemData;
    a.cch = info->cch;
    a.hbmpItem = info->hbmpItem;
    std::string text;
    if (CarriesString(info)) {
        if (info->dwTypeData) text = WideToAnsi(info->dwTypeData);
        a.dwTypeData = text.empty() ? nullptr : text.data();
    } else {
        a.dwTypeData = reinterpret_cast<LPSTR>(info->dwTypeData);
    }
    return ::InsertMenuItemA(menu, item, byPosition, &a);
}

HWND AnsiCreateDialog(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent, DLGPROC proc,
                      LPARAM init) {
    return ::CreateDialogIndirectParamA(instance, tmpl, parent, proc, init);
}
INT_PTR AnsiDialogBox(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent, DLGPROC proc,
                      LPARAM init) {
    return ::DialogBoxIndirectParamA(instance, tmpl, parent, proc, init);
}

void FontAnsiToWide(const LOGFONTA& a, LOGFONTW& w) {
    w.lfHeight = a.lfHeight;
    w.lfWidth = a.lfWidth;
    w.lfEscapement = a.lfEscapement;
    w.lfOrientation = a.lfOrientation;
    w.lfWeight = a.lfWeight;
    w.lfItalic = a.lfItalic;
    w.lfUnderline = a.lfUnderline;
    w.lfStrikeOut = a.lfStrikeOut;
    w.lfCharSet = a.lfCharSet;
    w.lfOutPrecision = a.lfOutPrecision;
    w.lfClipPrecision = a.lfClipPrecision;
    w.lfQuality = a.lfQuality;
    w.lfPitchAndFamily = a.lfPitchAndFamily;
    std::memset(w.lfFaceName, 0, sizeof(w.lfFaceName));
    AnsiIntoWide(a.lfFaceName, strnlen(a.lfFaceName, LF_FACESIZE), w.lfFaceName, LF_FACESIZE);
}

BOOL AnsiGetNonClientMetrics(NONCLIENTMETRICSW* metrics) {
    NONCLIENTMETRICSA a{};
    a.cbSize = kNonClientMetricsSizeA;
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSizeA, &a, 0))
        return FALSE;
    metrics->cbSize = kNonClientMetricsSizeW;
    metrics->iBorderWidth = a.iBorderWidth;
    metrics->iScrollWidth = a.iScrollWidth;
    metrics->iScrollHeight = a.iScrollHeight;
    metrics->iCaptionWidth = a.iCaptionWidth;
    metrics->iCaptionHeight = a.iCaptionHeight;
    metrics->iSmCaptionWidth = a.iSmCaptionWidth;
    metrics->iSmCaptionHeight = a.iSmCaptionHeight;
    metrics->iMenuWidth = a.iMenuWidth;
    metrics->iMenuHeight = a.iMenuHeight;
    FontAnsiToWide(a.lfCaptionFont, metrics->lfCaptionFont);
    FontAnsiToWide(a.lfSmCaptionFont, metrics->lfSmCaptionFont);
    FontAnsiToWide(a.lfMenuFont, metrics->lfMenuFont);
    FontAnsiToWide(a.lfStatusFont, metrics->lfStatusFont);
    FontAnsiToWide(a.lfMessageFont, metrics->lfMessageFont);
    return TRUE;
}

constexpr UiTextApiTable kAnsiForms = {
    AnsiGetVolumeLabel, AnsiShellNotifyIcon, AnsiGetWindowTextLength,
    AnsiGetDlgItemText, AnsiSetDlgItemText,  AnsiInsertMenuItem,
    AnsiCreateDialog,   AnsiDialogBox,       AnsiGetNonClientMetrics,
};

}  // namespace

UiTextApiTable UiTextApi = kAnsiForms;

void UiTextApiInit() {
    WinVersionInfo version;
    g_unicode = Sys().GetVersion(version) && version.platformId == kPlatformNt ? 1 : 0;
    if (!g_unicode) {
        UiTextApi = kAnsiForms;
        return;
    }
    UiTextApi = {
        WideGetVolumeLabel,
        late::Shell_NotifyIconW() ? WideShellNotifyIcon : AnsiShellNotifyIcon,
        WideGetWindowTextLength,
        WideGetDlgItemText,
        WideSetDlgItemText,
        WideInsertMenuItem,
        WideCreateDialog,
        WideDialogBox,
        WideGetNonClientMetrics,
    };
}

int UiIsUnicode() { return g_unicode; }

std::wstring UiWindowText(HWND window) {
    HWND parent = ::GetParent(window);
    const int id = ::GetDlgCtrlID(window);
    const int length = UiGetWindowTextLength(window);
    if (length <= 0 || !parent) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    UiGetDlgItemText(parent, id, text.data(), length + 1);
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

std::string WideToAnsi(const wchar_t* wide) {
    if (!wide || !*wide) return {};
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide, -1, ansi.data(), bytes, nullptr,
                          nullptr);
    ansi.resize(strnlen(ansi.c_str(), ansi.size()));
    return ansi;
}

std::wstring AnsiToWide(const char* ansi, int bytes) {
    if (!ansi || bytes == 0) return {};
    const int units = ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi, bytes, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi, bytes, wide.data(), units);
    wide.resize(wcsnlen(wide.c_str(), wide.size()));
    return wide;
}

bool IsAnsiLeadByte(unsigned char byte) { return ::IsDBCSLeadByteEx(CP_ACP, byte) != 0; }

std::optional<std::span<const uint16_t>> FindResString(HMODULE module, UINT id, WORD language) {
    HRSRC found = ::FindResourceExA(module, MAKEINTRESOURCEA(6),  // RT_STRING
                                    MAKEINTRESOURCEA((id >> 4) + 1), language);
    if (!found) return std::nullopt;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    const DWORD bytes = ::SizeofResource(module, found);
    return FindResString(std::span<const uint16_t>(static_cast<const uint16_t*>(data), bytes / 2),
                         id);
}

int LoadResString(HMODULE module, UINT id, wchar_t* buffer, int capacity, WORD language) {
    return CopyResString(FindResString(module, id, language), buffer,
                         capacity > 0 ? static_cast<std::size_t>(capacity) : 0);
}

namespace {

// The language in use first, then language 0. An empty translation falls
// back too: a block holds all 16 of its ids, and one its table lacks is
// empty there.
std::optional<std::span<const uint16_t>> FindUiString(UINT id) {
    const UiLanguage language = CurrentUiLanguage();
    if (language != UiLanguage::English) {
        const auto own = FindResString(nullptr, id, PrimaryLangId(language));
        if (own && !own->empty()) return own;
    }
    return FindResString(nullptr, id, 0);
}

}  // namespace

std::wstring ResText(UINT id) {
    const auto text = FindUiString(id);
    return text ? std::wstring(text->begin(), text->end()) : std::wstring();
}

wchar_t* WStrAppendResString(wchar_t* dst, const wchar_t* end, UINT id) {
    const auto text = FindUiString(id);
    if (!text) return WStrAppendUnits(dst, end, L"", 0);
    return WStrAppendUnits(dst, end, text->data(), text->size());
}

bool AnsiCodePageCarries(UiLanguage language) {
    if (UiIsUnicode() || language == UiLanguage::English) return true;
    for (const ResStringEntry& e : ResStringTable()) {
        const auto own = FindTranslation(language, e.id);
        if (!own || own->empty()) continue;
        const std::wstring wide(own->begin(), own->end());
        BOOL usedDefault = FALSE;
        const int bytes =
            ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, &usedDefault);
        if (bytes <= 0 || usedDefault) return false;
    }
    return true;
}

uint16_t SystemUiLanguageId() {
    if (const auto userUi = late::GetUserDefaultUILanguage()) return userUi();
    return ::GetSystemDefaultLangID();
}

wchar_t* WStrAppendAnsi(wchar_t* dst, const wchar_t* end, const char* ansi) {
    const std::wstring wide = AnsiToWide(ansi);
    if (wide.empty()) return dst;
    return WStrAppendUnits(dst, end, wide.data(), wide.size());
}

}  // namespace tarvik
