#pragma once
// The Clock seam: every wait and every time stamp of the program goes through
// it, so tests and the drive simulator can run a 15-second wait in no real time.
#include <cstdint>

#include "base/local_time.h"

namespace tarvik {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like GetTickCount.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
    virtual LocalTime Now() = 0;
    // Seconds since 1970-01-01 00:00 UTC, as time(NULL). The default counts
    // from Now() as if local time were UTC, which serves a clock that only
    // keeps a time of day (a virtual one); the system clocks override it.
    virtual int64_t CalendarTime();
};

// The process-wide clock. SetClock(nullptr) restores the system clock.
Clock& GetClock();
void SetClock(Clock* clock);

// A clock that only moves when told to (or when slept on). Used by tests and
// by the simulator so measured times are exact and cost nothing.
class VirtualClock final : public Clock {
public:
    uint32_t TickCount() override { return static_cast<uint32_t>(nowMs_); }
    void Sleep(uint32_t ms) override { nowMs_ += ms; }
    LocalTime Now() override;
    void Advance(uint64_t ms) { nowMs_ += ms; }
    uint64_t Elapsed() const { return nowMs_; }
    void Set(uint64_t ms) { nowMs_ = ms; }

private:
    uint64_t nowMs_ = 0;
};

}  // namespace tarvik
