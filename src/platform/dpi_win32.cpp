#include "platform/dpi_win32.h"

#include "platform/handles_win32.h"
#include "platform/late_bound_win32.h"

namespace tarvik {
namespace {

int Believed(UINT dpi, int otherwise) {
    return PlausibleDpi(static_cast<int>(dpi)) ? static_cast<int>(dpi) : otherwise;
}

}  // namespace

int SystemDpi() {
    if (const auto forSystem = late::GetDpiForSystem()) return Believed(forSystem(), kBaseDpi);
    if (const UniqueDc screen = WindowDc(nullptr))
        return Believed(static_cast<UINT>(::GetDeviceCaps(screen.get(), LOGPIXELSY)), kBaseDpi);
    return kBaseDpi;
}

int WindowDpi(HWND window) {
    const auto forWindow = late::GetDpiForWindow();
    return forWindow && window ? Believed(forWindow(window), SystemDpi()) : SystemDpi();
}

int DpiAtPoint(POINT point) {
    const auto monitorFromPoint = late::MonitorFromPoint();
    const auto forMonitor = late::GetDpiForMonitor();
    UINT x = 0, y = 0;
    if (!monitorFromPoint || !forMonitor ||
        FAILED(forMonitor(monitorFromPoint(point, MONITOR_DEFAULTTONEAREST), 0, &x, &y)))
        return SystemDpi();
    return Believed(y, SystemDpi());
}

int SystemMetricForDpi(int index, int dpi) {
    if (const auto forDpi = late::GetSystemMetricsForDpi())
        return forDpi(index, static_cast<UINT>(dpi));
    return ::MulDiv(::GetSystemMetrics(index), dpi, SystemDpi());
}

}  // namespace tarvik
