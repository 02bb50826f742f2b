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
};

}  // namespace

Clock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

}  // namespace tarvik
