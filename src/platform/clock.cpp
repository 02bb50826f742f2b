#include "platform/clock.h"

#include "base/log.h"

namespace tarvik {

Clock& SystemClock();  // clock_host.cpp / clock_win32.cpp

namespace {
Clock* g_clock = nullptr;
}

Clock& GetClock() { return g_clock ? *g_clock : SystemClock(); }

void SetClock(Clock* clock) { g_clock = clock; }

namespace {
// The log sits below the seams, so its time stamps come from the clock
// through a hook: whatever clock the process (or a test) installs.
LocalTime ClockNow() { return GetClock().Now(); }
const bool g_logUsesClock = (SetLogTimeSource(&ClockNow), true);
}  // namespace

int64_t Clock::CalendarTime() {
    const LocalTime t = Now();
    // Days from 1970-01-01 to the civil date (proleptic Gregorian calendar).
    const int64_t y = static_cast<int64_t>(t.year) - (t.month <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t m = t.month;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + t.day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

LocalTime VirtualClock::Now() {
    // A fixed day; the time of day follows the virtual milliseconds.
    LocalTime t;
    t.year = 2026;
    t.month = 1;
    t.day = 1;
    const uint64_t dayMs = nowMs_ % (24ull * 3600 * 1000);
    t.hour = static_cast<unsigned>(dayMs / 3600000);
    t.minute = static_cast<unsigned>(dayMs / 60000 % 60);
    t.second = static_cast<unsigned>(dayMs / 1000 % 60);
    t.millisecond = static_cast<unsigned>(dayMs % 1000);
    return t;
}

}  // namespace tarvik
