// One main for every benchmark in this folder.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
