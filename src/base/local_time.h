#pragma once
// A calendar time of day as the log prints it and the Clock seam reports it.

namespace tarvik {

struct LocalTime {
    unsigned year = 0, month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
};

}  // namespace tarvik
