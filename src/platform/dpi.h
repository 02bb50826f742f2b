#pragma once
// Pixels per inch: the base every pixel size in the program is drawn for, and
// the range of DPIs a window is laid out for (a message claiming another is
// not believed).
namespace tarvik {

inline constexpr int kBaseDpi = 96;

// 50 % to 1000 %: beyond what any display setting offers.
constexpr bool PlausibleDpi(int dpi) { return dpi >= 48 && dpi <= 960; }

// `pixels` drawn for 96 DPI at `dpi`, rounded to the nearest pixel.
constexpr int ScaleForDpi(int pixels, int dpi) { return (pixels * dpi + kBaseDpi / 2) / kBaseDpi; }

}  // namespace tarvik
