#include "platform/late_bound_win32.h"

#include <cstring>
#include <type_traits>

namespace tarvik {

#if _WIN32_WINNT >= 0x0600
static_assert(
    std::is_same_v<late::ShutdownBlockReasonCreateFn, decltype(&::ShutdownBlockReasonCreate)>);
static_assert(
    std::is_same_v<late::ShutdownBlockReasonDestroyFn, decltype(&::ShutdownBlockReasonDestroy)>);
#endif
#if _WIN32_WINNT >= 0x0500
static_assert(
    std::is_same_v<late::GetUserDefaultUILanguageFn, decltype(&::GetUserDefaultUILanguage)>);
#endif
#if _WIN32_WINNT >= 0x0A00
static_assert(std::is_same_v<late::GetDpiForWindowFn, decltype(&::GetDpiForWindow)>);
static_assert(std::is_same_v<late::GetDpiForSystemFn, decltype(&::GetDpiForSystem)>);
static_assert(std::is_same_v<late::GetSystemMetricsForDpiFn, decltype(&::GetSystemMetricsForDpi)>);
static_assert(
    std::is_same_v<late::SystemParametersInfoForDpiFn, decltype(&::SystemParametersInfoForDpi)>);
#endif

namespace {

// The flag of SetDefaultDllDirectories: the program's folder, System32 and
// the folders added with AddDllDirectory. The oldest target's headers lack it.
constexpr DWORD kLoadLibrarySearchDefaultDirs = 0x00001000;
// LoadLibraryEx's flag for System32 alone, there wherever the one above is.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
// How a library from System32 looks for its own imports: there alone once
// the search flags are known; else first in its folder, the altered search.
DWORD g_systemLibraryFlags = LOAD_WITH_ALTERED_SEARCH_PATH;
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR);

}  // namespace

bool NarrowDllSearch() {
    // kernel32 is mapped into every process: looking in it loads nothing.
    const HMODULE kernel32 = ::GetModuleHandleA("kernel32.dll");
    if (const auto set =
            LibraryFunction<SetDefaultDllDirectoriesFn>(kernel32, "SetDefaultDllDirectories"))
        if (set(kLoadLibrarySearchDefaultDirs)) {
            g_systemLibraryFlags = kLoadLibrarySearchSystem32;
            return true;
        }
    const auto setDirectory = LibraryFunction<SetDllDirectoryAFn>(kernel32, "SetDllDirectoryA");
    return setDirectory && setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
    const size_t length = std::strlen(name);
    if (n == 0 || n + 1 + length >= MAX_PATH) return nullptr;
    path[n] = '\\';
    std::memcpy(path + n + 1, name, length + 1);
    // Its own imports not from the program's folder either.
    return ::LoadLibraryExA(path, nullptr, g_systemLibraryFlags);
}

void* LibraryExport(HMODULE module, const char* name) {
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

namespace late {
namespace {

// The libraries, each loaded at the first lookup in it and kept for the
// life of the process.
// comctl32.dll by name: the manifest's side-by-side version 6 is found by
// its name, and a full path would bypass it for the System32 version 5.
HMODULE Comctl32() {
    static const HMODULE module = ::LoadLibraryA("comctl32.dll");
    return module;
}
HMODULE User32() {
    static const HMODULE module = LoadSystemLibrary("user32.dll");
    return module;
}
// Not there before Windows 8.1, where a search by name would go on to the
// program's folder and beyond.
HMODULE Shcore() {
    static const HMODULE module = LoadSystemLibrary("shcore.dll");
    return module;
}
HMODULE Kernel32() {
    static const HMODULE module = ::GetModuleHandleA("kernel32.dll");
    return module;
}
HMODULE Shell32() {
    static const HMODULE module = LoadSystemLibrary("shell32.dll");
    return module;
}
HMODULE Version() {
    static const HMODULE module = LoadSystemLibrary("version.dll");
    return module;
}

}  // namespace

decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW() {
    static const auto fn =
        LibraryFunction<decltype(&::GetFileVersionInfoSizeW)>(Version(), "GetFileVersionInfoSizeW");
    return fn;
}

decltype(&::GetFileVersionInfoW) GetFileVersionInfoW() {
    static const auto fn =
        LibraryFunction<decltype(&::GetFileVersionInfoW)>(Version(), "GetFileVersionInfoW");
    return fn;
}

decltype(&::InitCommonControlsEx) InitCommonControlsEx() {
    static const auto fn =
        LibraryFunction<decltype(&::InitCommonControlsEx)>(Comctl32(), "InitCommonControlsEx");
    return fn;
}

decltype(&::InitCommonControls) InitCommonControls() {
    static const auto fn =
        LibraryFunction<decltype(&::InitCommonControls)>(Comctl32(), "InitCommonControls");
    return fn;
}

decltype(&::MonitorFromPoint) MonitorFromPoint() {
    static const auto fn =
        LibraryFunction<decltype(&::MonitorFromPoint)>(User32(), "MonitorFromPoint");
    return fn;
}

decltype(&::GetMonitorInfoA) GetMonitorInfoA() {
    static const auto fn =
        LibraryFunction<decltype(&::GetMonitorInfoA)>(User32(), "GetMonitorInfoA");
    return fn;
}

ShutdownBlockReasonCreateFn ShutdownBlockReasonCreate() {
    static const auto fn =
        LibraryFunction<ShutdownBlockReasonCreateFn>(User32(), "ShutdownBlockReasonCreate");
    return fn;
}

ShutdownBlockReasonDestroyFn ShutdownBlockReasonDestroy() {
    static const auto fn =
        LibraryFunction<ShutdownBlockReasonDestroyFn>(User32(), "ShutdownBlockReasonDestroy");
    return fn;
}

GetDpiForWindowFn GetDpiForWindow() {
    static const auto fn = LibraryFunction<GetDpiForWindowFn>(User32(), "GetDpiForWindow");
    return fn;
}

GetUserDefaultUILanguageFn GetUserDefaultUILanguage() {
    static const auto fn =
        LibraryFunction<GetUserDefaultUILanguageFn>(Kernel32(), "GetUserDefaultUILanguage");
    return fn;
}

GetDpiForSystemFn GetDpiForSystem() {
    static const auto fn = LibraryFunction<GetDpiForSystemFn>(User32(), "GetDpiForSystem");
    return fn;
}

GetSystemMetricsForDpiFn GetSystemMetricsForDpi() {
    static const auto fn =
        LibraryFunction<GetSystemMetricsForDpiFn>(User32(), "GetSystemMetricsForDpi");
    return fn;
}

SystemParametersInfoForDpiFn SystemParametersInfoForDpi() {
    static const auto fn =
        LibraryFunction<SystemParametersInfoForDpiFn>(User32(), "SystemParametersInfoForDpi");
    return fn;
}

SetDialogDpiChangeBehaviorFn SetDialogDpiChangeBehavior() {
    static const auto fn =
        LibraryFunction<SetDialogDpiChangeBehaviorFn>(User32(), "SetDialogDpiChangeBehavior");
    return fn;
}

GetDpiForMonitorFn GetDpiForMonitor() {
    static const auto fn = LibraryFunction<GetDpiForMonitorFn>(Shcore(), "GetDpiForMonitor");
    return fn;
}

decltype(&::Shell_NotifyIconW) Shell_NotifyIconW() {
    static const auto fn =
        LibraryFunction<decltype(&::Shell_NotifyIconW)>(Shell32(), "Shell_NotifyIconW");
    return fn;
}

WineGetVersionFn wine_get_version() {
    static const auto fn =
        LibraryFunction<WineGetVersionFn>(::GetModuleHandleA("ntdll.dll"), "wine_get_version");
    return fn;
}

}  // namespace late
}  // namespace tarvik
