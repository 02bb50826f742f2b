// The soak of the running program on a virtual clock (app_soak.h): by default
// 8 virtual hours of 500 ms ticks with a scripted step every few seconds; set
// TARVIK_SOAK_HOURS for another length. One iteration. Counters:
//   virtual_h            virtual hours run
//   steps                scripted steps (speed, disc, tray, resume)
//   restores_expected    restores the drives' options called for
//   restores_seen        of them, the ones that happened (missed = the rest)
//   heap_start/end/max   heap bytes in use after the first virtual 10 minutes
//   heap_growth          end - start; the run fails above 64 KiB or on a miss
//   keys_open_max        registry keys open between steps (0 when all closed)
//   posted_max           posted commands waiting at once
//   ticks                main timer ticks run (the timer is on)
//   cpu_s                CPU time of the whole run
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "app_soak.h"
#include "cpu_time.h"

namespace tarvik {
namespace {

constexpr size_t kHeapGrowthBound = 64 * 1024;

void AppSoak(benchmark::State& state) {
    const char* hours = std::getenv("TARVIK_SOAK_HOURS");
    const double h = hours ? std::atof(hours) : 8.0;
    for (auto _ : state) {
        const uint64_t t0 = CpuNs();
        soak::AppSoak rig(1);
        const soak::Figures f = rig.Run(static_cast<uint64_t>(h * 3600000), 600000);
        state.counters["cpu_s"] = double(CpuNs() - t0) / 1e9;
        state.counters["virtual_h"] = double(f.virtualMs) / 3600000;
        state.counters["steps"] = double(f.steps[0] + f.steps[1] + f.steps[2] + f.steps[3]);
        state.counters["restores_expected"] = double(f.expected);
        state.counters["restores_seen"] = double(f.seen);
        state.counters["heap_start"] = double(f.heapStart);
        state.counters["heap_end"] = double(f.heapEnd);
        state.counters["heap_max"] = double(f.heapMax);
        state.counters["heap_growth"] = double(f.heapEnd) - double(f.heapStart);
        state.counters["keys_open_max"] = double(f.keysMax);
        state.counters["posted_max"] = double(f.postedMax);
        state.counters["ticks"] = double(f.ticks);
        for (const std::string& line : f.missed) std::fprintf(stderr, "missed: %s\n", line.c_str());
        if (f.seen != f.expected)
            state.SkipWithError("a restore was missed");
        else if (f.heapMax > f.heapStart + kHeapGrowthBound)
            state.SkipWithError("the heap grew beyond its bound");
    }
}

BENCHMARK(AppSoak)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tarvik
