#pragma once
// The DPI in force: the system's, a window's, that of the monitor at a point,
// and system metrics for a DPI. A system without per-monitor DPI answers
// with its one DPI everywhere, which is then the only one there is.
#include <windows.h>

#include "platform/dpi.h"

namespace tarvik {

// GetDpiForSystem, else LOGPIXELSY of the screen; 96 when neither answers.
int SystemDpi();
// GetDpiForWindow, else SystemDpi().
int WindowDpi(HWND window);
// The effective DPI of the monitor nearest `point`, else SystemDpi().
int DpiAtPoint(POINT point);
// GetSystemMetricsForDpi, else GetSystemMetrics scaled from the system DPI.
int SystemMetricForDpi(int index, int dpi);

}  // namespace tarvik
