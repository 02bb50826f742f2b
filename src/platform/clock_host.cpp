#include <chrono>
#include <ctime>
#include <thread>

#include "platform/clock.h"

namespace tarvik {
namespace {

class HostClock final : public Clock {
public:
    uint32_t TickCount() override {
        using namespace std::chrono;
        return static_cast<uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    LocalTime Now() override {
        using namespace std::chrono;
        const auto now = system_clock::now();
        const std::time_t secs = system_clock::to_time_t(now);
        std::tm tm{};
        localtime_r(&secs, &tm);
        LocalTime t;
        t.year = static_cast<unsigned>(tm.tm_year + 1900);
        t.month = static_cast<unsigned>(tm.tm_mon + 1);
        t.day = static_cast<unsigned>(tm.tm_mday);
        t.hour = static_cast<unsigned>(tm.tm_hour);
        t.minute = static_cast<unsigned>(tm.tm_min);
        t.second = static_cast<unsigned>(tm.tm_sec);
        t.millisecond = static_cast<unsigned>(
            duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
        return t;
    }
    int64_t CalendarTime() override { return static_cast<int64_t>(std::time(nullptr)); }
};

}  // namespace

Clock& SystemClock() {
    static HostClock clock;
    return clock;
}

}  // namespace tarvik
