#include <windows.h>

#include "platform/clock.h"

namespace tarvik {
namespace {

class Win32Clock final : public Clock {
public:
    uint32_t TickCount() override { return ::GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    LocalTime Now() override {
        SYSTEMTIME st;
        ::GetLocalTime(&st);
        LocalTime t;
        t.year = st.wYear;
        t.month = st.wMonth;
        t.day = st.wDay;
        t.hour = st.wHour;
        t.minute = st.wMinute;
        t.second = st.wSecond;
        t.millisecond = st.wMilliseconds;
        return t;
    }
    int64_t CalendarTime() override {
        FILETIME ft;
        ::GetSystemTimeAsFileTime(&ft);
        // 100 ns units since 1601; 11644473600 s lie between 1601 and 1970.
        const uint64_t units = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
        return static_cast<int64_t>(units / 10000000u) - 11644473600;
    }
};

}  // namespace

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace tarvik
