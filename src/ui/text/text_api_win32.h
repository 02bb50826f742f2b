#pragma once
// The text layer's system side. Text inside the program is UTF-16; on the
// Windows NT family it goes straight to the wide (W) entry points, on the
// 95/98/ME family through the ANSI (A) ones with a conversion through the
// ANSI code page. UiTextApiInit chooses once, from the Windows version the
// System seam reports, and every user-interface call goes through the table.
#include <windows.h>

// These need windows.h first.
#include <shellapi.h>

#include <string>

#include "ui/text/strings.h"
#include "ui/text/text_layer.h"

namespace tarvik {

struct UiTextApiTable {
    BOOL (*getVolumeLabel)(const wchar_t* root, wchar_t* label, DWORD capacity);
    BOOL (*shellNotifyIcon)(DWORD message, NOTIFYICONDATAW* data);
    int (*getWindowTextLength)(HWND window);
    UINT (*getDlgItemText)(HWND dialog, int id, wchar_t* buffer, int capacity);
    BOOL (*setDlgItemText)(HWND dialog, int id, const wchar_t* text);
    BOOL (*insertMenuItem)(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOW* info);
    HWND(*createDialogIndirectParam)
    (HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent, DLGPROC proc, LPARAM init);
    INT_PTR(*dialogBoxIndirectParam)
    (HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent, DLGPROC proc, LPARAM init);
    BOOL (*getNonClientMetrics)(NONCLIENTMETRICSW* metrics);
};

// The table in use: the ANSI forms until UiTextApiInit runs.
extern UiTextApiTable UiTextApi;

// Fills UiTextApi from the Windows version: the wide forms on the NT family
// (platform 2), the ANSI forms otherwise or when the version is unknown.
// Shell_NotifyIconW is taken from shell32.dll at run time; without it the
// tray icon goes through the ANSI form. May run again; same result.
void UiTextApiInit();

// 1 when the wide entry points are in use.
int UiIsUnicode();

// The nine operations, through the table.
inline BOOL UiGetVolumeLabel(const wchar_t* root, wchar_t* label, DWORD capacity) {
    return UiTextApi.getVolumeLabel(root, label, capacity);
}
inline BOOL UiShellNotifyIcon(DWORD message, NOTIFYICONDATAW* data) {
    return UiTextApi.shellNotifyIcon(message, data);
}
inline int UiGetWindowTextLength(HWND window) { return UiTextApi.getWindowTextLength(window); }
inline UINT UiGetDlgItemText(HWND dialog, int id, wchar_t* buffer, int capacity) {
    return UiTextApi.getDlgItemText(dialog, id, buffer, capacity);
}
inline BOOL UiSetDlgItemText(HWND dialog, int id, const wchar_t* text) {
    return UiTextApi.setDlgItemText(dialog, id, text);
}
inline BOOL UiInsertMenuItem(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOW* info) {
    return UiTextApi.insertMenuItem(menu, item, byPosition, info);
}
inline HWND UiCreateDialogIndirectParam(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent,
                                        DLGPROC proc, LPARAM init) {
    return UiTextApi.createDialogIndirectParam(instance, tmpl, parent, proc, init);
}
inline INT_PTR UiDialogBoxIndirectParam(HINSTANCE instance, const DLGTEMPLATE* tmpl, HWND parent,
                                        DLGPROC proc, LPARAM init) {
    return UiTextApi.dialogBoxIndirectParam(instance, tmpl, parent, proc, init);
}
inline BOOL UiGetNonClientMetrics(NONCLIENTMETRICSW* metrics) {
    return UiTextApi.getNonClientMetrics(metrics);
}

// The size of NONCLIENTMETRICSW every system accepts: the record up to the
// end of lfMessageFont, without the iPaddedBorderWidth that Windows before
// Vista rejects (and that an XP build does not declare).
constexpr UINT kNonClientMetricsSizeW =
    offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
constexpr UINT kNonClientMetricsSizeA =
    offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA);

// The ANSI tray record up to and including guidItem, as the wide one (504
// bytes on 32-bit Windows).
constexpr DWORD kNotifyIconDataSizeA = offsetof(NOTIFYICONDATAA, guidItem) + sizeof(GUID);

// A whole window or control text, through the table.
std::wstring UiWindowText(HWND window);

// Conversions through the ANSI code page. WideToAnsi gives an empty string
// when the text converts to nothing.
std::string WideToAnsi(const wchar_t* wide);
std::wstring AnsiToWide(const char* ansi, int bytes = -1);
// Lead bytes of the ANSI code page, for AnsiPrefixLength.
bool IsAnsiLeadByte(unsigned char byte);

// String `id` of `module`'s string table in `language` (null module: the
// program itself): its units, or nothing when the block or the string is
// missing. The block's size bounds every read.
std::optional<std::span<const uint16_t>> FindResString(HMODULE module, UINT id, WORD language);
int LoadResString(HMODULE module, UINT id, wchar_t* buffer, int capacity, WORD language);
// String `id` of the program's table in the language in use, else in the
// neutral language 0 (ResString); empty when missing.
std::wstring ResText(UINT id);

// Appends string `id` of the program's string table, as ResText finds it; a
// missing string appends nothing.
wchar_t* WStrAppendResString(wchar_t* dst, const wchar_t* end, UINT id);
// The user's display language (2000 on), the system's on older Windows.
uint16_t SystemUiLanguageId();
// Whether the texts of `language` reach the screen whole: always through the
// wide entry points; through the ANSI ones (95/98/ME) only when the ANSI code
// page has every character of its table (Russian needs 1251, the others
// 1252), else they would show as question marks.
bool AnsiCodePageCarries(UiLanguage language);

// Appends ANSI text converted through the ANSI code page; when it converts to
// nothing, nothing is written (not even a NUL) and `dst` comes back.
wchar_t* WStrAppendAnsi(wchar_t* dst, const wchar_t* end, const char* ansi);

}  // namespace tarvik
