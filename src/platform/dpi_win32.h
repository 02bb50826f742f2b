#pragma once
// The DPI in force: the system's, a window's, that of the monitor at a point,
// and system metrics for a DPI. A system without per-monitor DPI answers
// with its one DPI everywhere, which is then the only one there is.
#include <windows.h>

#include "platform/dpi.h"

namespace tarvik {

// WM_DPICHANGED, which the headers of the oldest target do not name. wParam:
// the new DPI in both halves; lParam: the suggested window rectangle.
inline constexpr UINT kWmDpiChanged = 0x02E0;

// GetDpiForSystem, else LOGPIXELSY of the screen; 96 when neither answers.
int SystemDpi();
// GetDpiForWindow, else SystemDpi().
int WindowDpi(HWND window);
// The effective DPI of the monitor nearest `point`, else SystemDpi().
int DpiAtPoint(POINT point);
// GetSystemMetricsForDpi, else GetSystemMetrics scaled from the system DPI.
int SystemMetricForDpi(int index, int dpi);

}  // namespace tarvik
