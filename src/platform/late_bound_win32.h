#pragma once
// The functions the program looks up at run time, in one place: those not
// every Windows it runs on has (the headers of the oldest target, XP for the
// 32-bit exe, may not even declare them), each looked up at its first use and
// kept, and the exports of a library loaded by name. Each comes back null
// where the system lacks it, and the caller checks at the call:
//     if (const auto create = late::ShutdownBlockReasonCreate()) create(window, text);
// Nothing here is imported, so the import table names none of them
// (tests/e2e/test_binary.py).
#include <windows.h>

// These need windows.h first.
#include <commctrl.h>
#include <shellapi.h>

namespace tarvik {

// Takes the current folder and PATH out of the search for every library the
// process loads by name from here on. It must run before the first such load,
// so each exe's entry calls it first. With SetDefaultDllDirectories (Windows 8,
// and Vista and 7 with KB2533623) the search is the program's folder, where a
// portable ASPI layer sits, then System32; without it, SetDllDirectoryA("")
// (XP SP1 on) removes the current folder. Both are looked up here: the oldest
// target has neither in every version. False when neither is there.
bool NarrowDllSearch();

// The library `name` from the system folder by full path (System32, or
// SysWOW64 for the 32-bit exe on 64-bit Windows), so that no copy beside the
// program or along the search path is taken for it; its own imports are
// looked for there first too. Null when the system has none.
HMODULE LoadSystemLibrary(const char* name);

// The export `name` of a loaded library; null when it has none or `module`
// is null.
void* LibraryExport(HMODULE module, const char* name);
template <class Fn>
Fn LibraryFunction(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(LibraryExport(module, name));
}

namespace late {

// The types of the functions the oldest target's headers do not declare
// (checked against the declarations where the headers have them).
using ShutdownBlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyFn = BOOL(WINAPI*)(HWND);
using WineGetVersionFn = const char*(CDECL*)();
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
// The behaviours are an enumeration in the headers that have it: 1 disables all.
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
// The monitor type is an enumeration there too: 0 is the effective DPI.
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using GetUserDefaultUILanguageFn = LANGID(WINAPI*)();

// version.dll: a file's version resource. Not a known DLL from Windows 7 on,
// so it is not imported, which would load a copy beside the exe at start.
decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW();
decltype(&::GetFileVersionInfoW) GetFileVersionInfoW();
// comctl32.dll: InitCommonControlsEx from version 4.70 on, InitCommonControls
// in every version.
decltype(&::InitCommonControlsEx) InitCommonControlsEx();
decltype(&::InitCommonControls) InitCommonControls();
// user32.dll: the monitor functions, from Windows 98 and 2000 on.
decltype(&::MonitorFromPoint) MonitorFromPoint();
decltype(&::GetMonitorInfoA) GetMonitorInfoA();
// user32.dll: the reason shown while the program holds up the end of the
// session, from Vista on.
ShutdownBlockReasonCreateFn ShutdownBlockReasonCreate();
ShutdownBlockReasonDestroyFn ShutdownBlockReasonDestroy();
// user32.dll: the DPI of a window and the metrics at a DPI, from Windows 10
// 1607 on; the dialog manager's own rescaling, which the dialog engine turns
// off to lay out itself, from 1703 on.
GetDpiForWindowFn GetDpiForWindow();
GetDpiForSystemFn GetDpiForSystem();
GetSystemMetricsForDpiFn GetSystemMetricsForDpi();
SystemParametersInfoForDpiFn SystemParametersInfoForDpi();
SetDialogDpiChangeBehaviorFn SetDialogDpiChangeBehavior();
// shcore.dll: a monitor's DPI, from Windows 8.1 on.
GetDpiForMonitorFn GetDpiForMonitor();
// kernel32.dll: the user's display language, from Windows 2000 on.
GetUserDefaultUILanguageFn GetUserDefaultUILanguage();
// shell32.dll: the wide tray icon call, on the NT family.
decltype(&::Shell_NotifyIconW) Shell_NotifyIconW();
// ntdll.dll: there only under Wine (the library is not loaded for it).
WineGetVersionFn wine_get_version();

}  // namespace late
}  // namespace tarvik
