#pragma once
// CPU time of the calling thread, for the per-operation costs the benchmarks
// report beside their counts.
#include <cstdint>
#include <ctime>

namespace tarvik {

inline uint64_t CpuNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

}  // namespace tarvik
