#pragma once
// Speeds in KB/s shown in the "N×" units users know (1× = the medium's factor).
#include <cstdint>

namespace tarvik {

// Rounded to the nearest whole multiple, halves up at one decimal: 1411 KB/s
// at 176 is 8 (8.0), 4234 is 24. 0 when the factor is not known.
constexpr uint32_t SpeedMultiple(uint32_t kbPerSecond, uint32_t factor) {
    if (factor == 0) return 0;
    return static_cast<uint32_t>((uint64_t{kbPerSecond} * 10 / factor + 5) / 10);
}

}  // namespace tarvik
