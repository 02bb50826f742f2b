#include "platform/late_bound_win32.h"

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

void* LibraryExport(HMODULE module, const char* name) {
    return module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
}

namespace late {
namespace {

// The libraries, each loaded at the first lookup in it and kept for the
// life of the process.
HMODULE Comctl32() {
    static const HMODULE module = ::LoadLibraryA("comctl32.dll");
    return module;
}
HMODULE User32() {
    static const HMODULE module = ::LoadLibraryA("user32.dll");
    return module;
}
HMODULE Shcore() {
    static const HMODULE module = ::LoadLibraryA("shcore.dll");
    return module;
}
HMODULE Kernel32() {
    static const HMODULE module = ::GetModuleHandleA("kernel32.dll");
    return module;
}
HMODULE Shell32() {
    static const HMODULE module = ::LoadLibraryA("shell32.dll");
    return module;
}

}  // namespace

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
